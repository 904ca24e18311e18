// Reading web pages for their feeds, and the feed-HTML sanitizer beside the same
// HTML5 parser, on generated pages of growing size. Prints milliseconds per run.
#include "viewer/htmlsanitizer.h"
#include "wizard/feedlinkreader.h"

#include <QElapsedTimer>
#include <QUrl>

#include <cstdio>

namespace {

// A news site's front page: a head with its feeds, then articles with the
// usual markup, nested a dozen deep.
QByteArray frontPage(int articles)
{
    QByteArray page = "<!DOCTYPE html><html lang=de><head><meta charset=utf-8><title>Nachrichten "
                      "&ndash; \xc3\x9c"
                      "bersicht</title>"
                      "<link rel=stylesheet href=/s.css>"
                      "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Alle &raquo;\" "
                      "href=\"/rss\">"
                      "<script>var x = '<link rel=alternate href=/no>';</script></head><body>";
    for (int i = 0; i < articles; ++i) {
        page += "<div class=teaser><div class=inner><article><header><h2><a href=\"/a/"
            + QByteArray::number(i) + "?x=1&amp;y=2\">Schlagzeile &bdquo;Nummer&ldquo; "
            + QByteArray::number(i)
            + "</a></h2></header><p>Text <b>mit</b> <i>Auszeichnung</i> und einem "
              "<a href=/x>Link</a>.<p>Noch ein Absatz<br>mit Umbruch.<img src=/i.png alt=''>"
              "<ul><li>eins<li>zwei</ul></article></div></div>";
    }
    return page + "</body></html>";
}

template <typename Run> double millisecondsPerRun(Run run)
{
    QElapsedTimer clock;
    clock.start();
    int runs = 0;
    do {
        run();
        ++runs;
    } while (clock.elapsed() < 500);
    return double(clock.nsecsElapsed()) / 1e6 / runs;
}

} // namespace

int main()
{
    std::printf("%10s %12s %14s %14s\n", "bytes", "read links", "sanitize (old)", "decode only");
    const QUrl address(QStringLiteral("http://site.test/"));
    for (const int articles : {10, 100, 1000, 10000}) {
        const QByteArray page = frontPage(articles);
        const QString text = FeedLinkReader::decode(page, "text/html; charset=utf-8");
        const double read = millisecondsPerRun([&] {
            if (FeedLinkReader::read(page, "text/html; charset=utf-8", address).size() != 1)
                std::abort();
        });
        const double sanitize = millisecondsPerRun([&] { HtmlSanitizer::sanitize(text); });
        const double decode
            = millisecondsPerRun([&] { FeedLinkReader::decode(page, "text/html; charset=utf-8"); });
        std::printf("%10lld %12.2f %14.2f %14.2f\n", static_cast<long long>(page.size()), read,
            sanitize, decode);
    }
    return 0;
}
