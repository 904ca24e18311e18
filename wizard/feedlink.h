#pragma once

#include <QList>
#include <QString>

// One feed a web page announces, or the address itself when it is a feed.
struct FeedLink
{
    QString address; // absolute, fully encoded
    QString type; // media type without parameters, in lower case
    QString title; // as the page gives it; may be empty

    // What a user is shown: the title, or the address when there is none.
    QString displayTitle() const { return title.isEmpty() ? address : title; }

    bool operator==(const FeedLink &other) const
    {
        return address == other.address && type == other.type && title == other.title;
    }
};

using FeedLinkList = QList<FeedLink>;
