#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// What the server keeps of one user: settings, feed records and folder layout.
struct UserRecord
{
    struct Feed
    {
        int kind = 1; // 1 catalogue feed, 2 own feed
        int id = 0; // catalogue id or own feed number
        QString title;
        QString source;
        int state = 0; // subscribed + 2 x shown in the client
    };
    struct Folder
    {
        int id = 0;
        QString title;
        QList<QPair<int, int>> feeds; // (kind, id)
    };

    QMap<int, int> settings; // setting field number -> value
    QList<Feed> feeds;
    QList<Folder> folders;
};
