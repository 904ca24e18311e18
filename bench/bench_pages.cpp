// Times the writing of the feed pages: one feed of 10,000 items, and a feed tree
// model built over 500 feeds of 200 items each (which renders every feed's pages).

#include "core/feeddatabase.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "host/psettings.h"
#include "pages/htmlsanitizer.h"
#include "tree/feedmodel.h"
#include "tree/feednode.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>

namespace {

struct Output
{
    int files = 0;
    qint64 bytes = 0;
};

Output pageOutput()
{
    Output out;
    const QFileInfoList files
        = QDir(PDir::applicationDataPath(true))
              .entryInfoList({QStringLiteral("*_channel*_*.html")}, QDir::Files);
    for (const QFileInfo &file : files) {
        ++out.files;
        out.bytes += file.size();
    }
    return out;
}

void fill(QSqlDatabase &db, int feeds, int itemsPerFeed)
{
    QSqlQuery query(db);
    db.transaction();
    for (int f = 1; f <= feeds; ++f) {
        query.prepare(QStringLiteral(
            "insert into feeds (id, source, channeltitle, link, toload, description, farmid, "
            "folderid, inclient, charset) values (?, ?, ?, ?, 1, ?, ?, ?, 0, 'utf-8')"));
        query.addBindValue(f);
        query.addBindValue(QStringLiteral("http://news%1.example.org/feed.xml").arg(f));
        query.addBindValue(QStringLiteral("News &amp; views number %1").arg(f));
        query.addBindValue(QStringLiteral("http://news%1.example.org/").arg(f));
        query.addBindValue(QStringLiteral("The <b>latest</b> news from source %1").arg(f));
        query.addBindValue(-f);
        query.addBindValue(1 + f % 5);
        query.exec();
        query.prepare(QStringLiteral(
            "insert into items (channelid, itemid, title, link, description, pubdate, "
            "isread, toclear, mark) values (?, ?, ?, ?, ?, ?, ?, 0, ?)"));
        for (int i = 1; i <= itemsPerFeed; ++i) {
            query.addBindValue(f);
            query.addBindValue(i);
            query.addBindValue(
                QStringLiteral("Story %1 of feed %2: something happened").arg(i).arg(f));
            query.addBindValue(
                QStringLiteral("http://news%1.example.org/story/%2?ref=rss&amp;x=1").arg(f).arg(i));
            query.addBindValue(QStringLiteral(
                "<p>A typical teaser of a news item, with <b>some</b> <i>formatting</i> and a "
                "<a href=\"http://news.example.org/more/%1\">link to more</a>.</p><p><img "
                "src=\"http://img.example.org/%1.jpg\" alt=\"picture\" width=\"120\" "
                "height=\"80\"/> The second paragraph tells a little more about what "
                "happened &amp; why it matters to the readers of this feed.</p>")
                                   .arg(i));
            query.addBindValue(QStringLiteral("Mon, 01 Jan 2024 10:%1:00 GMT")
                                   .arg(i % 60, 2, 10, QLatin1Char('0')));
            query.addBindValue(i % 3 == 0 ? 1 : 0);
            query.addBindValue(i % 97 == 0 ? 1 : 0);
            query.exec();
        }
    }
    for (int folder = 2; folder <= 5; ++folder)
        query.exec(
            QStringLiteral("insert into folder (id, title) values (%1, 'Folder %1')").arg(folder));
    db.commit();
}

void report(const char *what, const QList<qint64> &nanoseconds, const Output &out, double target)
{
    QList<qint64> sorted = nanoseconds;
    std::sort(sorted.begin(), sorted.end());
    const double best = double(sorted.first()) / 1e9;
    const double median = double(sorted.at(sorted.size() / 2)) / 1e9;
    std::printf("%-34s best %7.3f s  median %7.3f s  (target %.1f s: %s)\n", what, best, median,
        target, median <= target ? "met" : "MISSED");
    std::printf("%-34s %d files, %.1f MB; %.0f files/s, %.1f MB/s\n", "", out.files,
        double(out.bytes) / 1e6, out.files / median, double(out.bytes) / 1e6 / median);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    PSettings::instance()->changeUser(QStringLiteral("bench"));
    CPxBuddy_Administrator::Instance().signIn(4711);
    const int runs = 5;

    {
        QSqlDatabase db;
        FeedDatabase::open(db, home.filePath(QStringLiteral("one.rssdb")));
        fill(db, 1, 10000);
        QSqlQuery(db).exec(QStringLiteral("update feeds set folderid = 1"));
        FeedNode node(&db, 1);
        QList<qint64> times;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            node.renderPages();
            times << timer.nsecsElapsed();
        }
        report("renderPages, 1 feed x 10000 items", times, pageOutput(), 0.3);
        FeedDatabase::close(db);
    }

    {
        QSqlDatabase db;
        FeedDatabase::open(db, home.filePath(QStringLiteral("many.rssdb")));
        fill(db, 500, 200);
        QList<qint64> times;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            FeedModel model(&db);
            times << timer.nsecsElapsed();
        }
        report("FeedModel, 500 feeds x 200 items", times, pageOutput(), 3.0);
        FeedDatabase::close(db);
    }

    {
        // Hostile markup at its worst: deeply nested and never closed, or one endless tag.
        for (const QString &piece : {QStringLiteral("<b>"), QStringLiteral("<a x=1 onclick=2 ")}) {
            QString input;
            for (int i = 0; i < 200000; ++i)
                input += piece;
            QElapsedTimer timer;
            timer.start();
            const QString out = HtmlSanitizer::sanitize(input);
            std::printf("sanitize 200000 x %-16s %7.3f s for %.1f MB\n", qPrintable(piece),
                double(timer.nsecsElapsed()) / 1e9, double(input.size()) * 2 / 1e6);
        }
    }
    PDir::setHomePath(QString());
    return 0;
}
