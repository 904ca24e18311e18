#pragma once

#include <QtGlobal>

// Field numbers of the messages between the client and the news plug-in. A
// message's fields are listed with it in ClientMessage below.
namespace ProtocolField {
// A field without a number: counts and values that the position names.
constexpr quint32 Plain = 0;
// Naming a feed: FeedKind 1 with FarmId (catalogue), or 2 with OwnFeedId (own).
constexpr quint32 FeedKind = 657;
constexpr quint32 Mandator = 662;
constexpr quint32 FeedTitle = 687;
constexpr quint32 Country = 732;
// The catalogue: the node asked for and whether it is the catalogue's root.
constexpr quint32 CatalogueFlag = 770;
constexpr quint32 CatalogueNode = 771;
constexpr quint32 FolderFeedCount = 772;
constexpr quint32 FarmId = 773;
constexpr quint32 FeedSource = 774;
// Settings: a count, then one field per setting.
constexpr quint32 SettingCount = 775;
constexpr quint32 UpdateInterval = 776;
constexpr quint32 InGroups = 777;
constexpr quint32 NewItemsOnly = 778;
constexpr quint32 MaxItemsInClient = 779;
constexpr quint32 MaxItemsInViewer = 780;
constexpr quint32 OwnFeedId = 781;
// The folder layout: a count, then per folder its id, title and feeds.
constexpr quint32 FolderCount = 782;
constexpr quint32 FolderId = 783;
constexpr quint32 FolderTitle = 784;
constexpr quint32 FeedState = 787;
} // namespace ProtocolField

// (module, command) pairs between the client and the plug-in, and the failure
// codes of their answers.
namespace ClientMessage {
constexpr quint16 CoreModule = 1;
constexpr quint16 NewsModule = 41;

// Module 1, answered by the client itself.
constexpr quint16 MandatorIdRequest = 41; // answer: Mandator
constexpr quint16 ProxyRequest = 99;
constexpr quint16 WindowActivate = 61682; // Plain window handle

// Module 41, sent by the plug-in.
// Country, Mandator; the answer holds the settings, feeds and folders.
constexpr quint16 FeedsAndSettingsRequest = 1;
constexpr quint16 SettingChanged = 2; // SettingCount 1, one setting field
constexpr quint16 CatalogueChildrenRequest = 3; // CatalogueNode, CatalogueFlag
// The feed's reference (an own feed with FeedTitle and FeedSource), FeedState.
constexpr quint16 FeedSubscribed = 4;
constexpr quint16 FeedUnsubscribed = 5; // the feed's reference
constexpr quint16 FeedChanged = 6; // FeedTitle, the feed's reference, FeedState
constexpr quint16 FoldersChanged = 7; // FolderCount, then each folder
constexpr quint16 FeedItemsChanged = 61818; // Plain count, Plain feed ids
constexpr quint16 FeedShownInClient = 61819; // Plain feed id
constexpr quint16 FeedHiddenInClient = 61820; // Plain feed id
constexpr quint16 OptionsChanged = 61821; // no fields
constexpr quint16 ItemStateNotice = 61822; // Plain command, feed id, item id

// Module 41, commands the client delivers to the plug-in.
constexpr quint16 OpenSubscriptionWizard = 61809;
constexpr quint16 OpenChooseDialog = 61810;
constexpr quint16 OpenSettings = 61811;
constexpr quint16 OpenViewer = 61812; // Plain feed id, Plain item id (optional)
constexpr quint16 ItemStateChanged = 61823; // Plain command, feed id, item id

// Failure codes the client answers with.
constexpr int UnknownRequest = 1;
constexpr int ServerUnavailable = 2;
constexpr int CatalogueUnavailable = 3;
constexpr int MalformedMessage = 4;
// The plug-in's answer to a command that carries no message.
constexpr int NoMessage = 82;
} // namespace ClientMessage
