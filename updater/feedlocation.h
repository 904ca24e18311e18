#pragma once

#include <QUrl>

// Where a feed is fetched from. A redirect replaces url for as long as the
// plug-in runs; the database keeps the address the user subscribed to.
struct FeedLocation
{
    QUrl url;
};
