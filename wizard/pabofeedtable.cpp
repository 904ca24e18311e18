#include "pabofeedtable.h"

#include "core/rssprotocol.h"

#include "host/psimplemessage.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"
#include "pages/decodeentities.h"
#include "updater/httpconnection.h"

#include <QHeaderView>
#include <QSqlQuery>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

constexpr int RowHeight = 20;
// A page announcing more feeds than this is not a page a user picks from.
constexpr int MaxFeedRows = 1000;

bool sameText(const QByteArray &bytes, const char *lowerCase)
{
    const qsizetype length = qstrlen(lowerCase);
    return bytes.size() == length && qstrnicmp(bytes.constData(), lowerCase, length) == 0;
}

} // namespace

PAboFeedTable::PAboFeedTable(QWidget *parent)
    : QTableWidget(parent), m_connection(new HttpConnection(this)), m_watch(new QTimer(this))
{
    setShowGrid(false);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setColumnCount(1);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_watch->setInterval(2000);
    connect(m_watch, &QTimer::timeout, this, &PAboFeedTable::timerEvent);
    connect(m_connection, &HttpConnection::responseHeaderReceived, this, &PAboFeedTable::getHeader);
    connect(m_connection, &HttpConnection::requestFinished, this, &PAboFeedTable::parseHtml);

    PSimpleMessage message(ClientMessage::CoreModule, ClientMessage::ProxyRequest, false);
    message.Send(this, &PAboFeedTable::getProxy);
}

PAboFeedTable::~PAboFeedTable()
{
    stop();
}

void PAboFeedTable::setDatabase(QSqlDatabase *db)
{
    m_db = db;
}

void PAboFeedTable::getProxy(Request *request)
{
    if (!request->reply())
        WrapPluginHelper::Instance().requestFailed(request, ClientMessage::NoMessage, 0);
    else
        m_connection->setProxy(HttpConnection::proxyFromReply(request->reply()));
    WrapPluginHelper::Instance().freeRequest(request);
}

void PAboFeedTable::discover(const QUrl &address)
{
    stop();
    m_requested = address;
    m_redirects = 0;
    fetch(address);
}

void PAboFeedTable::fetch(const QUrl &address)
{
    finish();
    m_current = address;
    showStatus(tr("Searching..."));
    if (m_current.path().isEmpty())
        m_current.setPath(QStringLiteral("/"));

    m_phase = Head;
    m_connection->setHost(m_current);
    m_requestId = m_connection->head(HttpConnection::requestPath(m_current));
    m_requestClock.start();
    m_watch->start();
}

void PAboFeedTable::finish()
{
    m_phase = Idle;
    m_requestId = 0;
    m_watch->stop();
}

void PAboFeedTable::stop()
{
    finish();
    // The abort reports the running request as failed; Idle makes that a no-op.
    m_connection->abort();
}

void PAboFeedTable::abort()
{
    stop();
}

void PAboFeedTable::showStatus(const QString &text)
{
    clearContents();
    setRowCount(1);
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(0, 0, item);
    setRowHeight(0, RowHeight);
}

void PAboFeedTable::timerEvent()
{
    if (m_phase == Idle) {
        m_watch->stop();
        return;
    }
    if (m_requestClock.elapsed() < m_stallTimeout)
        return;
    stop();
    showStatus(tr("Connection timed out"));
}

void PAboFeedTable::getHeader(const HttpResponseHeader &header)
{
    // Only the HEAD decides; the GET's own header changes nothing.
    if (m_phase != Head || m_connection->currentId() != m_requestId)
        return;
    const int status = header.statusCode();
    if (status == 200) {
        m_phase = Get;
        showStatus(tr("Parse page"));
        m_requestId = m_connection->get(HttpConnection::requestPath(m_current));
        m_requestClock.start();
        return;
    }
    if (status > 300 && status < 400) {
        const QUrl location = m_current.resolved(QUrl(header.value(QStringLiteral("location"))));
        if (++m_redirects > MaxRedirects || header.value(QStringLiteral("location")).isEmpty()
            || !location.isValid() || location.host().isEmpty()) {
            finish();
            showStatus(tr("Error"));
            return;
        }
        // The answered HEAD ends by itself; the next one waits in the queue.
        fetch(location);
        return;
    }
    finish();
    showStatus(tr("Error"));
}

void PAboFeedTable::parseHtml(int id, bool error)
{
    if (m_phase == Idle || id != m_requestId)
        return;
    if (error) {
        const QString text = m_connection->errorString();
        finish();
        showStatus(text.isEmpty() ? tr("Error") : text);
        return;
    }
    if (m_phase != Get)
        return; // a HEAD that ended without a status line is caught by its error
    finish();

    const QByteArray body = m_connection->readAll();
    if (isFeedDocument(body)) {
        clearContents();
        setRowCount(0);
        QSqlQuery lookup = m_db ? QSqlQuery(*m_db) : QSqlQuery();
        addFeedRow(tr("News found"), m_requested.toString(), &lookup);
        emit sendFeedFound();
    } else {
        scanHtml(body);
    }
    finishRows();
}

void PAboFeedTable::finishRows()
{
    for (int row = 0; row < rowCount(); ++row)
        setRowHeight(row, RowHeight);
}

bool PAboFeedTable::isFeedDocument(const QByteArray &body)
{
    // Streamed rather than loaded into a DOM: a hostile page may nest deeper than
    // a tree of nodes can be torn down.
    QXmlStreamReader reader(body);
    reader.setNamespaceProcessing(false);
    bool rootSeen = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!rootSeen && reader.isStartElement()) {
            rootSeen = true;
            const QStringView name = reader.qualifiedName();
            if (name != u"rss" && name != u"rdf:RDF" && name != u"Channel" && name != u"feed")
                return false;
        }
    }
    return rootSeen && !reader.hasError();
}

QString PAboFeedTable::linkAddress(const QString &href) const
{
    // An absolute address stays exactly as the page wrote it; a link without an
    // href has nothing to resolve.
    const QUrl url(href);
    if (href.isEmpty() || !url.isRelative())
        return href;
    return m_current.resolved(url).toString();
}

void PAboFeedTable::addFeedRow(const QString &text, const QString &address, QSqlQuery *lookup)
{
    bool subscribed = false;
    if (m_db) {
        if (lookup->lastQuery().isEmpty())
            lookup->prepare(
                QStringLiteral("select * from feeds where source = :source and toload = 1"));
        lookup->bindValue(QStringLiteral(":source"), address);
        subscribed = lookup->exec() && lookup->first();
        lookup->finish();
    }
    const int row = rowCount();
    insertRow(row);
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setData(AddressRole, address);
    item->setData(SubscribedRole, subscribed);
    item->setCheckState(subscribed ? Qt::Checked : Qt::Unchecked);
    setItem(row, 0, item);
}

void PAboFeedTable::scanHtml(const QByteArray &body)
{
    // Byte by byte, each byte a Latin-1 character. Only <link ...> tags with a
    // double-quoted href, type and title are read; a tag name must be followed by a
    // space, and values in single quotes or without quotes are not values.
    QByteArray buffer;
    QByteArray href;
    QByteArray title;
    QByteArray type;
    bool inTag = false;
    bool inQuotes = false;
    bool linkTag = false;
    bool expectHref = false;
    bool expectType = false;
    bool expectTitle = false;
    int found = 0;
    QSqlQuery lookup = m_db ? QSqlQuery(*m_db) : QSqlQuery();

    for (const char c : body) {
        switch (c) {
        case '<':
            if (!inTag && !inQuotes) {
                inTag = true;
                buffer.clear();
            } else {
                buffer += c;
            }
            break;
        case ' ':
            if (inTag && !linkTag && !inQuotes) {
                if (sameText(buffer, "link")) {
                    linkTag = true;
                    buffer.clear();
                }
            } else if (inQuotes) {
                buffer += c;
            }
            break;
        case '\t':
        case '\n':
        case '\r':
            buffer.clear();
            break;
        case '=':
            if (linkTag && !inQuotes && !buffer.isEmpty()) {
                expectHref = !expectHref && sameText(buffer, "href");
                expectType = !expectType && sameText(buffer, "type");
                expectTitle = !expectTitle && sameText(buffer, "title");
                buffer.clear();
            } else {
                buffer += c;
            }
            break;
        case '"':
            if (!linkTag) {
                buffer += c;
            } else if (!inQuotes) {
                inQuotes = true;
                buffer.clear();
            } else {
                if (expectHref) {
                    href = buffer;
                    expectHref = false;
                } else if (expectType) {
                    type = buffer;
                    expectType = false;
                } else if (expectTitle) {
                    title = buffer;
                    expectTitle = false;
                }
                inQuotes = false;
                buffer.clear();
            }
            break;
        case '>':
            if (inTag && !inQuotes) {
                if (linkTag && found < MaxFeedRows
                    && (sameText(type, "application/rss+xml")
                        || sameText(type, "application/atom+xml"))) {
                    if (found == 0) {
                        clearContents();
                        setRowCount(0);
                    }
                    ++found;
                    addFeedRow(decodeEntities(QString::fromLatin1(title)),
                        linkAddress(QString::fromLatin1(href)), &lookup);
                }
                href.clear();
                title.clear();
                type.clear();
                expectHref = expectType = expectTitle = false;
                linkTag = false;
                inTag = false;
                buffer.clear();
            } else {
                buffer += c;
            }
            break;
        default:
            buffer += c;
            break;
        }
    }

    if (found > 0)
        emit sendFeedFound();
    else
        showStatus(tr("No news found"));
}

void PAboFeedTable::applySelection()
{
    const QString itself = tr("News found");
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *entry = item(row, 0);
        if (!entry || !(entry->flags() & Qt::ItemIsUserCheckable))
            continue;
        const bool ticked = entry->checkState() == Qt::Checked;
        if (ticked == entry->data(SubscribedRole).toBool())
            continue;
        const QString address = entry->data(AddressRole).toString();
        if (ticked)
            emit saveFeed(address, entry->text() == itself ? QString() : entry->text());
        else
            emit clearFeed(address);
    }
}
