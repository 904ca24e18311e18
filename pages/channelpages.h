#pragma once

#include <QString>

class QSqlDatabase;

// Writes the static HTML pages of one feed, or of the favourites (id 0), into the
// viewer directory: U_channelN_P.html, 30 items a page, newest first.
class ChannelPages
{
public:
    static constexpr int ItemsPerPage = 30;

    // What the tree shows of a page set. Fields a rendering cannot read (no feed
    // row) keep the values passed in.
    struct Display
    {
        QString title;
        QString link;
        QString page;
        QString source;
        int itemCount = 0;
        int unreadCount = 0;
        bool toLoad = false;
    };

    // Replaces the page files of the feed by new ones and fills display.
    static void render(QSqlDatabase &db, int id, Display &display);

    // While a batch lives, renderings share one listing of the viewer directory
    // instead of reading it for every feed. Nothing else may add or remove page
    // files meanwhile (everything runs on the GUI thread).
    class Batch
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
    };

    // The page bar: back link, up to four page numbers either side, forward link.
    static QString pageBar(int current, int count, const QString &namePrefix);

    // U + "_channel" + id + "_", the start of every page file name of the feed.
    static QString namePrefix(int id);
    // Native path of the feed's page file number page.
    static QString pagePath(int id, int page);
};
