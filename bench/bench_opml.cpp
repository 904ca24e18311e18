// Times reading a subscription list of 10,000 outlines in 100 folders, adding it to
// an empty profile and writing the profile out again. A list that size should be
// in within a few seconds.

#include "core/feeddatabase.h"
#include "core/opmldocument.h"
#include "core/subscriptionlist.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    CPxBuddy_Administrator::Instance().signIn(1);

    QByteArray list("<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><body>\n");
    for (int folder = 0; folder < 100; ++folder) {
        list += "<outline text=\"Folder " + QByteArray::number(folder) + "\">\n";
        for (int feed = 0; feed < 100; ++feed) {
            const QByteArray n = QByteArray::number(folder * 100 + feed);
            list += "  <outline type=\"rss\" text=\"Feed " + n + "\" xmlUrl=\"http://feeds" + n
                + ".example.org/rss.xml\" htmlUrl=\"http://feeds" + n + ".example.org/\"/>\n";
        }
        list += "</outline>\n";
    }
    list += "</body></opml>\n";

    QSqlDatabase db;
    if (!FeedDatabase::open(db, FeedDatabase::fileFor(1))) {
        std::fputs("the profile cannot be opened\n", stderr);
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    OpmlDocument document;
    document.read(list);
    const qint64 read = timer.restart();
    const SubscriptionList::Outcome outcome = SubscriptionList(&db).add(document.feeds());
    const qint64 added = timer.restart();
    const QByteArray written
        = OpmlDocument::write(QStringLiteral("bench"), SubscriptionList(&db).folders());
    const qint64 exported = timer.elapsed();
    std::printf("read %lld feeds: %lld ms\n", qlonglong(document.feeds().size()), read);
    std::printf("added %lld feeds in %lld new folders: %lld ms\n", qlonglong(outcome.added.size()),
        qlonglong(outcome.newFolders.size()), added);
    std::printf("exported %lld bytes: %lld ms\n", qlonglong(written.size()), exported);
    FeedDatabase::close(db);
    return 0;
}
