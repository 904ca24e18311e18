#pragma once

#include <QString>
#include <QUrl>

// Where a feed is fetched from. A redirect replaces url for as long as the
// plug-in runs; the database keeps the address the user subscribed to.
struct FeedLocation
{
    QUrl url;
    // The Last-modified header of the document last fetched; empty at first.
    QString lastModified;
};
