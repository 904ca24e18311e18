#pragma once

#include "wizard/feedlink.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// Reads a web page as a browser does and lists the feeds it announces. The bytes
// are decoded by the charset of the HTTP Content-Type, else a byte-order mark,
// else a <meta charset> or <meta http-equiv> near the top, else windows-1252; the
// text is parsed by an HTML5 parser, so comments, scripts and styles hide what is
// inside them and attributes may be quoted any way. Feeds are <link> elements
// with "alternate" among their rel tokens and an RSS, Atom or RDF type; their
// addresses resolve against <base href> or the page's own address.
class FeedLinkReader
{
public:
    // The page's text, decoded as described above.
    static QString decode(const QByteArray &body, const QByteArray &contentType = QByteArray());
    // The charset the decoding would use, in lower case ("utf-8", "windows-1252", ...).
    static QByteArray sniffCharset(const QByteArray &body, const QByteArray &contentType);
    // The charset parameter of a Content-Type value; empty when there is none.
    static QByteArray charsetParameter(const QByteArray &contentType);
    // Decodes with a charset label; false when the label names nothing known.
    static bool decodeAs(const QByteArray &label, const QByteArray &bytes, QString *text);

    // The feeds of a page fetched from pageAddress (after redirects), each address once.
    static FeedLinkList read(
        const QByteArray &body, const QByteArray &contentType, const QUrl &pageAddress);
    static FeedLinkList readText(const QString &html, const QUrl &pageAddress);

    // The media type of a feed link, without parameters, in lower case; empty
    // when the type is not a feed's.
    static QString feedType(const QString &typeAttribute);
};
