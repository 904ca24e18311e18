#pragma once

#include <QList>

// The notices the plug-in sends the client's news display of its own accord;
// none expects an answer.
class ClientNotices
{
public:
    // command: 1 read, 2 unread, 0 deleted.
    static void itemStateChanged(int command, int channelId, int itemId);
    // At most 65535 feeds: the count is a 16-bit field.
    static void feedItemsChanged(const QList<int> &ids);
    static void feedHidden(int id);
    static void feedShown(int id);
    static void optionsChanged();
};
