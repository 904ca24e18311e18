#pragma once

#include <QtGlobal>

// The one table of numbers the client and the news plug-in exchange: modules,
// commands, field numbers and failure codes. Nothing else writes them out.

// Field numbers of the messages between the client and the news plug-in.
namespace ProtocolField {
constexpr quint32 Plain = 0;
constexpr quint32 FeedKind = 657;
constexpr quint32 Mandator = 662;
constexpr quint32 FeedTitle = 687;
constexpr quint32 Country = 732;
constexpr quint32 CatalogueFlag = 770;
constexpr quint32 CatalogueNode = 771;
constexpr quint32 FolderFeedCount = 772;
constexpr quint32 FarmId = 773;
constexpr quint32 FeedSource = 774;
constexpr quint32 SettingCount = 775;
constexpr quint32 UpdateInterval = 776;
constexpr quint32 InGroups = 777;
constexpr quint32 NewItemsOnly = 778;
constexpr quint32 MaxItemsInClient = 779;
constexpr quint32 MaxItemsInViewer = 780;
constexpr quint32 OwnFeedId = 781;
constexpr quint32 FolderCount = 782;
constexpr quint32 FolderId = 783;
constexpr quint32 FolderTitle = 784;
constexpr quint32 FeedState = 787;
} // namespace ProtocolField

// (module, command) pairs the client knows.
namespace ClientMessage {
constexpr quint16 CoreModule = 1;
constexpr quint16 NewsModule = 41;

constexpr quint16 MandatorIdRequest = 41; // module 1
constexpr quint16 ProxyRequest = 99; // module 1
constexpr quint16 WindowActivate = 61682; // module 1

constexpr quint16 FeedsAndSettingsRequest = 1;
constexpr quint16 SettingChanged = 2;
constexpr quint16 CatalogueChildrenRequest = 3;
constexpr quint16 FeedSubscribed = 4;
constexpr quint16 FeedUnsubscribed = 5;
constexpr quint16 FeedChanged = 6;
constexpr quint16 FoldersChanged = 7;
constexpr quint16 FeedItemsChanged = 61818;
constexpr quint16 FeedShownInClient = 61819;
constexpr quint16 FeedHiddenInClient = 61820;
constexpr quint16 OptionsChanged = 61821;
constexpr quint16 ItemStateNotice = 61822;

// Commands the client delivers to the plug-in (module 41).
constexpr quint16 OpenSubscriptionWizard = 61809;
constexpr quint16 OpenChooseDialog = 61810;
constexpr quint16 OpenSettings = 61811;
constexpr quint16 OpenViewer = 61812;
constexpr quint16 ItemStateChanged = 61823;

// Failure codes the client answers with.
constexpr int UnknownRequest = 1;
constexpr int ServerUnavailable = 2;
constexpr int CatalogueUnavailable = 3;
constexpr int MalformedMessage = 4;
// The plug-in's answer to a command that carries no message.
constexpr int NoMessage = 82;
} // namespace ClientMessage
