#include "opmldocument.h"

#include <QBuffer>
#include <QDateTime>
#include <QIODevice>
#include <QLocale>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

QString attribute(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    // Some writers vary the case of the attribute names (xmlURL, htmlurl).
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name().compare(name, Qt::CaseInsensitive) == 0)
            return a.value().toString();
    }
    return QString();
}

} // namespace

QString OpmlDocument::feedAddress(const QString &text)
{
    QString address = text.trimmed();
    // The feed scheme of some exports stands for plain http.
    if (address.startsWith(QLatin1String("feed://"), Qt::CaseInsensitive))
        address.replace(0, 4, QStringLiteral("http"));
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    return address;
}

bool OpmlDocument::read(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return read(&buffer);
}

bool OpmlDocument::read(QIODevice *device)
{
    m_error.clear();
    m_title.clear();
    m_feeds.clear();
    m_refused = 0;

    QList<OpmlFeed> feeds;
    int refused = 0;
    QString title;
    QXmlStreamReader xml(device);
    // Names of the open outlines; a feed outline pushes a null entry.
    QStringList path;
    bool inBody = false;
    bool inTitle = false;
    bool sawRoot = false;

    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (!sawRoot) {
                sawRoot = true;
                if (name != QLatin1String("opml")) {
                    m_error = tr("The file is not an OPML subscription list (its root element "
                                 "is <%1>).")
                                  .arg(name.toString());
                    return false;
                }
                continue;
            }
            if (name == QLatin1String("body") && path.isEmpty()) {
                inBody = true;
            } else if (name == QLatin1String("title") && !inBody) {
                inTitle = true;
            } else if (name == QLatin1String("outline") && inBody) {
                const QXmlStreamAttributes attributes = xml.attributes();
                const QString xmlUrl = attribute(attributes, QLatin1String("xmlUrl"));
                QString text = attribute(attributes, QLatin1String("title"));
                if (text.trimmed().isEmpty())
                    text = attribute(attributes, QLatin1String("text"));
                text = text.trimmed();
                const QString type = attribute(attributes, QLatin1String("type")).toLower();
                const bool namesFeed = !xmlUrl.isNull() || type == QLatin1String("rss")
                    || type == QLatin1String("atom");
                if (!namesFeed) {
                    path.append(text);
                    continue;
                }
                const QString address = feedAddress(xmlUrl);
                if (address.isEmpty()) {
                    ++refused;
                } else {
                    QStringList folders;
                    for (const QString &part : std::as_const(path)) {
                        if (!part.isNull() && !part.isEmpty())
                            folders.append(part);
                    }
                    feeds.append(
                        {text, address, attribute(attributes, QLatin1String("htmlUrl")).trimmed(),
                            folders.join(QLatin1String(" / "))});
                }
                // Outlines below a feed stay in the feed's folder.
                path.append(QString());
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView name = xml.name();
            if (name == QLatin1String("outline") && inBody && !path.isEmpty())
                path.removeLast();
            else if (name == QLatin1String("body") && path.isEmpty())
                inBody = false;
            else if (name == QLatin1String("title"))
                inTitle = false;
        } else if (token == QXmlStreamReader::Characters && inTitle) {
            title += xml.text();
        }
    }
    if (xml.hasError()) {
        m_error = xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
            ? tr("The file ends too early (line %1): it is incomplete.").arg(xml.lineNumber())
            : tr("The file is not well-formed XML (line %1, column %2): %3")
                  .arg(xml.lineNumber())
                  .arg(xml.columnNumber())
                  .arg(xml.errorString());
        return false;
    }
    if (!sawRoot) {
        m_error = tr("The file is empty.");
        return false;
    }
    m_title = title.trimmed();
    m_feeds = feeds;
    m_refused = refused;
    return true;
}

QByteArray OpmlDocument::write(const QString &title, const QList<OpmlFolder> &folders)
{
    QByteArray data;
    QXmlStreamWriter xml(&data);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("opml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeTextElement(QStringLiteral("title"), title);
    // RFC 822 dates, in English whatever the user's language.
    xml.writeTextElement(QStringLiteral("dateCreated"),
        QLocale::c().toString(
            QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")));
    xml.writeEndElement(); // head
    xml.writeStartElement(QStringLiteral("body"));
    for (const OpmlFolder &folder : folders) {
        xml.writeStartElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("text"), folder.title);
        xml.writeAttribute(QStringLiteral("title"), folder.title);
        for (const OpmlFeed &feed : folder.feeds) {
            xml.writeEmptyElement(QStringLiteral("outline"));
            xml.writeAttribute(QStringLiteral("text"), feed.title);
            xml.writeAttribute(QStringLiteral("title"), feed.title);
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("rss"));
            xml.writeAttribute(QStringLiteral("xmlUrl"), feed.xmlUrl);
            xml.writeAttribute(QStringLiteral("htmlUrl"), feed.htmlUrl);
        }
        xml.writeEndElement();
    }
    xml.writeEndElement(); // body
    xml.writeEndElement(); // opml
    xml.writeEndDocument();
    return data;
}
