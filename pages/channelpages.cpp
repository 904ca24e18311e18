#include "channelpages.h"

#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "pages/decodeentities.h"
#include "pages/htmlsanitizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringBuilder>
#include <QStringEncoder>
#include <QVariant>

#include <algorithm>
#include <optional>

namespace {

// The words a page shares with its script; both translate them in context "QObject".
struct PageWords
{
    QString page = QCoreApplication::translate("QObject", "Page");
    QString from = QCoreApplication::translate("QObject", "from");
    QString toggleRead = QCoreApplication::translate("QObject", "Toggle Read");
    QString toggleUnread = QCoreApplication::translate("QObject", "Toggle Unread");
    QString remove = QCoreApplication::translate("QObject", "Delete");
    QString mark = QCoreApplication::translate("QObject", "Mark");
    QString unmark = QCoreApplication::translate("QObject", "Unmark");
    QString open = QCoreApplication::translate("QObject", "Open");
    QString browser = QCoreApplication::translate("QObject", "Open in Browser");
};

QString escapeQuotes(const QString &text)
{
    if (!text.contains(u'"'))
        return text;
    QString escaped = text;
    escaped.replace(u'"', QLatin1String("&quot;"));
    return escaped;
}

// One page: the text is collected and then encoded at once.
class PageWriter
{
public:
    explicit PageWriter(const QString &charset)
    {
        const QByteArray name = charset.trimmed().toLatin1();
        if (!name.isEmpty()) {
            QStringEncoder named(name.constData());
            if (named.isValid())
                m_encoder.emplace(std::move(named));
        }
        // An unknown or empty name keeps a text stream's default encoding, UTF-8.
        if (!m_encoder)
            m_encoder.emplace(QStringConverter::Utf8);
    }

    QString &text() { return m_text; }

    // The page collected so far, encoded; the text starts anew.
    QByteArray take()
    {
        m_encoder->resetState();
        const QByteArray bytes = m_encoder->encode(m_text);
        m_text.clear();
        return bytes;
    }

private:
    std::optional<QStringEncoder> m_encoder;
    QString m_text;
};

struct PageHead
{
    QString charset; // as written into the content-type meta element
    QString title; // sanitized
    QString description; // sanitized
    QString link; // attribute-safe; empty for the favourites (each page links itself)
};

void writeHead(QString &out, const PageHead &head, const QString &titleLink, const QString &bar)
{
    out += u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
           u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
           u"<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"de\" lang=\"de\">\n"
           u"<head>\n"
           // Behind the sanitizer: only the script and style sheet beside the
           // page may act, whatever slipped into an item.
           u"<meta http-equiv=\"Content-Security-Policy\" content=\"script-src file:; "
           u"style-src file:; object-src 'none'; base-uri 'none'\" />\n"
           u"<script src=\"./rss.js\" type=\"text/javascript\"></script>"
           u"<title> pellix RSS Feed Viewer</title>\n"
           u"<meta http-equiv=\"content-type\" content=\"text/html;charset=";
    out += head.charset;
    out += u"\" />\n"
           u"<link rel=\"stylesheet\" type=\"text/css\" media=\"all\" href=\"./style.css\">\n"
           u"</head>\n"
           u"<body>\n"
           u"<div id=\"main\">\n"
           u"<div id=\"header\">\n"
           u"<div id=\"title\">\n"
           u"<div class=\"rssimg\"><img src=\"./feed-icon-24x24.gif\"></div>\n"
           u"<div class=\"big\"><a href=\"";
    out += titleLink;
    out += u"\">";
    out += head.title;
    out += u"</a></div>\n"
           u"<div class=\"bigShadow\">";
    out += head.title;
    out += u"</div>\n"
           u"<div class=\"small\">";
    out += head.description;
    out += u"</div>\n"
           u"</div> <!-- ende #title -->\n";
    out += bar;
    out += u"<div id=\"content\">\n";
}

void writeItem(QString &out, const QSqlQuery &row, const PageWords &words)
{
    // Columns: title, description, link, pubdate, date, isread, mark, itemid, channelid.
    const bool read = row.value(5).toInt() == 1;
    const bool unread = row.value(5).toInt() == 0;
    const bool marked = row.value(6).toInt() == 1;
    const QString key = QString::number(row.value(8).toLongLong()) % QLatin1Char(':')
        % QString::number(row.value(7).toLongLong());
    const QString link = HtmlSanitizer::safeHref(row.value(2).toString());
    const QVariant pubdate = row.value(3);
    const QString date = pubdate.isNull() ? row.value(4).toString() : pubdate.toString();

    out += u"<div class=\"feeditem\" id = \"";
    out += key;
    out += u"\">\n<div class=\"";
    out += marked ? u"itemtitle_flagged" : (unread ? u"itemtitle" : u"itemtitle_vstd");
    out += u"\"><a href=\"";
    out += link;
    out += u"\">";
    out += HtmlSanitizer::sanitize(row.value(0).toString());
    out += u"</a></div>\n";
    out += unread ? u"<div class=\"itemdate\">" : u"<div class=\"itemdate_vstd\">";
    out += HtmlSanitizer::sanitize(date);
    out += u"&nbsp;&nbsp; <a href=\"javascript:read('";
    out += key;
    out += read ? u"')\"><img src=\"./read-12.gif\" alt=\""
                : u"')\"><img src=\"./unread-12.gif\" alt=\"";
    out += read ? words.toggleUnread : words.toggleRead;
    out += u"\"></a> &nbsp; <a href=\"javascript:toDelete('";
    out += key;
    out += u"')\"><img src=\"./delete-12.gif\" alt=\"";
    out += words.remove;
    out += u"\"></a> &nbsp; <a href=\"javascript:mark('";
    out += key;
    out += marked ? u"')\"><img src=\"./flag-on-12.gif\" alt=\""
                  : u"')\"><img src=\"./flag-off-12.gif\" alt=\"";
    out += marked ? words.unmark : words.mark;
    out += u"\"></a>&nbsp; <a href=\"";
    out += link;
    out += u"\"><img src=\"./arrow-right-12.gif\" alt=\"";
    out += words.open;
    out += u"\"></a>&nbsp; <a class=\"external\" href=\"javascript:external('";
    out += key;
    out += u"')\">";
    out += words.browser;
    out += u"</a></div>\n";
    out += unread ? u"<div class=\"itemdescription\">" : u"<div class=\"itemdescription_vstd\">";
    out += HtmlSanitizer::sanitize(row.value(1).toString());
    out += u"</div>\n</div>\n";
}

int countOf(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.exec(statement);
    return query.next() ? query.value(0).toInt() : 0;
}

// A listing of the viewer directory shared by the renderings of a batch: the
// page files of the current user, by the feed number in their names.
struct Listing
{
    int batches = 0;
    bool loaded = false;
    QString dir;
    QString userPrefix;
    QHash<QString, QStringList> pagesByFeed;
};

Listing &sharedListing()
{
    static Listing listing;
    return listing;
}

bool isPageFile(const QString &name, const QString &prefix)
{
    // The pages are the plain files U_channelN_*.html, matched like a directory
    // name filter, without regard to case.
    return name.size() >= prefix.size() + 5 && name.startsWith(prefix, Qt::CaseInsensitive)
        && name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

QStringList listPages(const QString &dir, const QString &namePrefix)
{
    QStringList names;
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (isPageFile(name, namePrefix))
            names.append(name);
    }
    return names;
}

// The page files feed id has now, before its rendering.
QStringList existingPages(const QString &dir, int id, const QString &namePrefix)
{
    Listing &listing = sharedListing();
    if (listing.batches == 0)
        return listPages(dir, namePrefix);
    const QString userPrefix
        = QString::number(CPxBuddy_Administrator::Instance().userId()) % QLatin1String("_channel");
    if (!listing.loaded || listing.dir != dir || listing.userPrefix != userPrefix) {
        listing.pagesByFeed.clear();
        for (const QString &name : listPages(dir, userPrefix)) {
            const qsizetype end = name.indexOf(u'_', userPrefix.size());
            if (end > 0 && name.size() - 5 > end)
                listing.pagesByFeed[name.mid(userPrefix.size(), end - userPrefix.size())].append(
                    name);
        }
        listing.dir = dir;
        listing.userPrefix = userPrefix;
        listing.loaded = true;
    }
    return listing.pagesByFeed.value(QString::number(id));
}

void rememberPages(int id, const QStringList &names)
{
    Listing &listing = sharedListing();
    if (listing.batches > 0 && listing.loaded)
        listing.pagesByFeed.insert(QString::number(id), names);
}

// Rewrites a feed's page files. Files of the old set are overwritten in place and
// only the leftovers are removed at the end: the same result as removing the old
// set first, at a fraction of the file system's work.
class PageFiles
{
public:
    PageFiles(const QString &dir, int id, const QString &namePrefix)
        : m_dir(dir), m_id(id), m_old(existingPages(dir, id, namePrefix))
    {
    }

    ~PageFiles()
    {
        for (const QString &name : std::as_const(m_old)) {
            if (!QFile::remove(m_dir % QLatin1Char('/') % name)
                && QFile::exists(m_dir % QLatin1Char('/') % name))
                m_written.append(name);
        }
        rememberPages(m_id, m_written);
    }

    PageFiles(const PageFiles &) = delete;
    PageFiles &operator=(const PageFiles &) = delete;

    bool write(const QString &name, const QString &path, const QByteArray &bytes)
    {
        // Written over the old content and then cut to length: emptying a file
        // first makes some file systems flush it to disk at once.
        // Binary: the bytes on disk are the page's bytes on every platform.
        const QIODevice::OpenMode mode = QIODevice::ReadWrite;
        QFile file(path);
        bool opened = file.open(mode);
        if (!opened && m_old.contains(name)) {
            // An old page that cannot be overwritten may still be replaced.
            QFile::remove(path);
            opened = file.open(mode);
        }
        if (!opened)
            return false;
        file.write(bytes);
        file.resize(bytes.size());
        m_old.removeOne(name);
        m_written.append(name);
        return true;
    }

private:
    QString m_dir;
    int m_id;
    QStringList m_old;
    QStringList m_written;
};

} // namespace

ChannelPages::Batch::Batch()
{
    ++sharedListing().batches;
}

ChannelPages::Batch::~Batch()
{
    Listing &listing = sharedListing();
    if (--listing.batches == 0) {
        listing.loaded = false;
        listing.pagesByFeed.clear();
    }
}

QString ChannelPages::namePrefix(int id)
{
    return QString::number(CPxBuddy_Administrator::Instance().userId()) % QLatin1String("_channel")
        % QString::number(id) % QLatin1Char('_');
}

QString ChannelPages::pagePath(int id, int page)
{
    return QDir::toNativeSeparators(PDir::applicationDataPath(true) % QLatin1Char('/')
        % namePrefix(id) % QString::number(page) % QLatin1String(".html"));
}

QString ChannelPages::pageBar(int current, int count, const QString &namePrefix)
{
    const QString page = QCoreApplication::translate("QObject", "Page");
    QString bar = QStringLiteral("<div id=\"pagebar\">");
    if (count == 1) {
        bar += page % QLatin1String(" 1");
    } else {
        if (current != 1)
            bar += QLatin1String("<a href=\"") % namePrefix % QString::number(current - 1)
                % QLatin1String(".html\">&laquo</a>");
        bar += QLatin1Char(' ') % page % QLatin1Char(' ');
        const int low = std::max(1, current - 4);
        const int high = std::min(current + 4, count);
        if (low > 1)
            bar += QLatin1String("... ");
        for (int p = low; p <= high; ++p) {
            const QString number = QString::number(p);
            if (p == current)
                bar += number % QLatin1Char(' ');
            else
                bar += QLatin1String("<a href=\"") % namePrefix % number % QLatin1String(".html\">")
                    % number % QLatin1String("</a> ");
        }
        if (high < count)
            bar += QLatin1String("... ");
        bar += QCoreApplication::translate("QObject", "from") % QLatin1Char(' ')
            % QString::number(count) % QLatin1Char(' ');
        if (current < count)
            bar += QLatin1String(" <a href=\"") % namePrefix % QString::number(current + 1)
                % QLatin1String(".html\">&raquo;</a>");
    }
    bar += QLatin1String("</div> <!-- ende #pagebar -->");
    return bar;
}

void ChannelPages::render(QSqlDatabase &db, int id, Display &display)
{
    const bool favorites = id == 0;
    const QString number = QString::number(id);
    const QString dir = PDir::applicationDataPath(true);
    const QString name = namePrefix(id);
    PageFiles files(dir, id, name);

    PageHead head;
    QString charset;
    if (favorites) {
        display.title = QCoreApplication::translate("ChannelPages", "Favorites");
        display.toLoad = false;
        head.description = QCoreApplication::translate(
            "ChannelPages", "All selected messages of the individual news");
        charset = QStringLiteral("utf-8");
    } else {
        QSqlQuery feed(db);
        feed.setForwardOnly(true);
        feed.exec(QLatin1String("select channeltitle, link, toload, description, source, "
                                "charset from feeds where id = ")
            % number);
        while (feed.next()) {
            display.title = decodeEntities(feed.value(0).toString());
            display.source = feed.value(4).toString();
            if (display.title.isEmpty())
                display.title = display.source;
            display.link = feed.value(1).toString();
            display.toLoad = feed.value(2).toInt() == 1;
            head.description = feed.value(3).toString();
            charset = feed.value(5).toString();
        }
    }

    display.itemCount = favorites
        ? countOf(db, QStringLiteral("select count(*) from items where toclear = 0 and mark = 1"))
        : countOf(db,
            QLatin1String("select count(*) from items where channelid=") % number
                % QLatin1String(" and toclear = 0"));
    if (display.itemCount == 0) {
        display.page = QStringLiteral("about:blank");
        display.unreadCount = 0;
        return;
    }
    display.unreadCount = favorites
        ? countOf(db,
            QStringLiteral("select count(*) from items where toclear = 0 and isread "
                           "= 0 and mark = 1"))
        : countOf(db,
            QLatin1String("select count(*) from items where channelid = ") % number
                % QLatin1String(" and toclear = 0 and isread = 0"));

    const QString pathPrefix = QDir::toNativeSeparators(dir % QLatin1Char('/') % name);
    head.charset = escapeQuotes(charset);
    head.title = HtmlSanitizer::sanitize(display.title);
    head.description = HtmlSanitizer::sanitize(head.description);
    const QString feedLink = HtmlSanitizer::safeHref(display.link);
    const PageWords words;

    QSqlQuery items(db);
    items.setForwardOnly(true);
    items.exec(favorites ? QStringLiteral("select title, description, link, pubdate, date, isread, "
                                          "mark, itemid, channelid from items where mark = 1 and "
                                          "toclear = 0 order by channelid, itemid desc")
                         : QString(QLatin1String("select title, description, link, pubdate, date, "
                                                 "isread, mark, itemid, channelid from items where "
                                                 "channelid = ")
                             % number % QLatin1String(" and toclear = 0 order by itemid desc")));

    const int pageCount = (display.itemCount + ItemsPerPage - 1) / ItemsPerPage;
    PageWriter writer(charset);
    QString &out = writer.text();
    int current = 1;
    int onPage = 0;
    QString bar;
    QString path;
    QString fileName;
    while (items.next()) {
        if (onPage == 0) {
            fileName = name % QString::number(current) % QLatin1String(".html");
            path = pathPrefix % QString::number(current) % QLatin1String(".html");
            bar = pageBar(current, pageCount, name);
            out.reserve(64 * 1024);
            writeHead(out, head, favorites ? escapeQuotes(path) : feedLink, bar);
        } else {
            out += u"<div class=\"line\">&nbsp;</div>\n";
        }
        writeItem(out, items, words);
        if (++onPage == ItemsPerPage) {
            out += u"</div>";
            out += bar;
            out += u"</body></html>";
            if (!files.write(fileName, path, writer.take()))
                return;
            ++current;
            onPage = 0;
        }
    }
    if (onPage > 0) {
        out += u"</div>";
        out += bar;
        out += u"</body></html>";
        if (!files.write(fileName, path, writer.take()))
            return;
    }
    display.page = pathPrefix % QLatin1String("1.html");
}
