#include "feedlinkreader.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <gumbo.h>

#include <cctype>
#include <vector>

namespace {

// How far into the page a <meta> naming the charset is looked for, as browsers do.
constexpr qsizetype MetaScanBytes = 1024;

// windows-1252 differs from Latin-1 only in 0x80..0x9f.
constexpr char16_t Windows1252High[32]
    = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
        0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = uchar(c);
        *out++ = (byte >= 0x80 && byte < 0xa0) ? QChar(Windows1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QString fromLatin9(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        switch (c.unicode()) {
        case 0xa4:
            c = QChar(0x20ac);
            break;
        case 0xa6:
            c = QChar(0x0160);
            break;
        case 0xa8:
            c = QChar(0x0161);
            break;
        case 0xb4:
            c = QChar(0x017d);
            break;
        case 0xb8:
            c = QChar(0x017e);
            break;
        case 0xbc:
            c = QChar(0x0152);
            break;
        case 0xbd:
            c = QChar(0x0153);
            break;
        case 0xbe:
            c = QChar(0x0178);
            break;
        default:
            break;
        }
    }
    return text;
}

QString decodeWith(QStringConverter::Encoding encoding, const QByteArray &bytes)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

bool isHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

QString gumboText(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QString attribute(const GumboElement &element, const char *name)
{
    const GumboAttribute *found = gumbo_get_attribute(&element.attributes, name);
    return found ? gumboText(found->value) : QString();
}

bool hasAttribute(const GumboElement &element, const char *name)
{
    return gumbo_get_attribute(&element.attributes, name) != nullptr;
}

// Calls visit(element) for every HTML element in document order, without
// recursion: a hostile page may nest deeper than the stack allows. Template
// contents are not part of the document and are skipped.
template <typename Visit> void walkElements(const GumboNode *root, Visit visit)
{
    std::vector<const GumboNode *> stack{root};
    while (!stack.empty()) {
        const GumboNode *node = stack.back();
        stack.pop_back();
        const GumboVector *children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement &element = node->v.element;
            if (element.tag_namespace == GUMBO_NAMESPACE_HTML && !visit(element))
                return;
            children = &element.children;
        }
        if (!children)
            continue;
        for (unsigned int i = children->length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode *>(children->data[i - 1]));
    }
}

// The parser looks through its stack of open elements for many tags, so its
// work grows with the number of tags times their depth: a hostile page of
// nested elements would take hours. Browsers cap the depth of the tree; here
// the page is read up to where an estimate of that work exceeds what any real
// page needs (a large news page comes to a few million).
constexpr qint64 ParseWorkBudget = 40'000'000;

bool isTagNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Elements that never nest: void ones and those whose end tag is usually left out.
bool leavesDepthAlone(const QByteArray &name)
{
    static const QSet<QByteArray> names{"area", "base", "br", "col", "embed", "hr", "img", "input",
        "link", "meta", "source", "track", "wbr", "param", "keygen", "p", "li", "dt", "dd",
        "option", "optgroup", "tr", "td", "th", "tbody", "thead", "tfoot", "colgroup", "caption",
        "rb", "rt", "rtc", "rp", "html", "head", "body"};
    return names.contains(name);
}

// How many bytes of utf8 to parse: all of it, or up to the tag where the
// estimated work runs over the budget.
qsizetype parseLength(const QByteArray &utf8)
{
    const char *data = utf8.constData();
    const qsizetype size = utf8.size();
    qint64 depth = 0;
    qint64 work = 0;
    qsizetype i = 0;
    while ((i = utf8.indexOf('<', i)) >= 0) {
        if (utf8.mid(i, 4) == "<!--") {
            const qsizetype end = utf8.indexOf("-->", i + 4);
            if (end < 0)
                break;
            i = end + 3;
            continue;
        }
        const bool closing = i + 1 < size && data[i + 1] == '/';
        qsizetype nameStart = i + (closing ? 2 : 1);
        qsizetype nameEnd = nameStart;
        while (nameEnd < size && isTagNameByte(data[nameEnd]))
            ++nameEnd;
        if (nameEnd == nameStart || !(std::isalpha(uchar(data[nameStart])))) {
            ++i;
            continue;
        }
        const qsizetype tagEnd = utf8.indexOf('>', nameEnd);
        const QByteArray name = utf8.mid(nameStart, nameEnd - nameStart).toLower();
        if (closing) {
            if (!leavesDepthAlone(name) && depth > 0)
                --depth;
        } else if (!leavesDepthAlone(name) && !(tagEnd > 0 && data[tagEnd - 1] == '/')) {
            ++depth;
        }
        work += depth + 1;
        if (work > ParseWorkBudget)
            return i;
        if (tagEnd < 0)
            break;
        i = tagEnd + 1;
    }
    return size;
}

class ParsedPage
{
public:
    explicit ParsedPage(const QByteArray &utf8) : m_utf8(utf8)
    {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0; // parse errors are of no use here and cost memory
        m_output
            = gumbo_parse_with_options(&options, m_utf8.constData(), size_t(parseLength(m_utf8)));
    }
    ~ParsedPage() { gumbo_destroy_output(&kGumboDefaultOptions, m_output); }
    ParsedPage(const ParsedPage &) = delete;
    ParsedPage &operator=(const ParsedPage &) = delete;

    const GumboNode *document() const { return m_output->document; }

private:
    QByteArray m_utf8; // gumbo points into it
    GumboOutput *m_output;
};

// The charset a <meta> element declares, or empty.
QByteArray metaCharset(const GumboElement &element)
{
    if (element.tag != GUMBO_TAG_META)
        return QByteArray();
    if (hasAttribute(element, "charset"))
        return attribute(element, "charset").trimmed().toLatin1();
    if (attribute(element, "http-equiv").trimmed().compare(u"content-type", Qt::CaseInsensitive)
        == 0)
        return FeedLinkReader::charsetParameter(attribute(element, "content").toLatin1());
    return QByteArray();
}

} // namespace

QByteArray FeedLinkReader::charsetParameter(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts.at(i).trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith('"') || value.startsWith('\''))
            && value.endsWith(value.at(0)))
            value = value.mid(1, value.size() - 2);
        return value.trimmed().toLower();
    }
    return QByteArray();
}

bool FeedLinkReader::decodeAs(const QByteArray &label, const QByteArray &bytes, QString *text)
{
    const QByteArray name = label.trimmed().toLower();
    if (name.isEmpty())
        return false;
    // Browsers read the Latin-1 and ASCII labels as windows-1252.
    static const QSet<QByteArray> windows1252{"windows-1252", "cp1252", "x-cp1252", "iso-8859-1",
        "iso8859-1", "iso_8859-1", "iso88591", "latin1", "l1", "ascii", "us-ascii", "cp819",
        "ibm819", "iso-ir-100", "csisolatin1", "ansi_x3.4-1968", "iso_8859-1:1987"};
    static const QSet<QByteArray> latin9{
        "iso-8859-15", "iso8859-15", "iso_8859-15", "iso885915", "latin-9", "l9", "csisolatin9"};
    static const QSet<QByteArray> utf8{"utf-8", "utf8", "unicode-1-1-utf-8", "x-unicode20utf8"};
    if (windows1252.contains(name)) {
        *text = fromWindows1252(bytes);
    } else if (latin9.contains(name)) {
        *text = fromLatin9(bytes);
    } else if (utf8.contains(name)) {
        *text = decodeWith(QStringConverter::Utf8, bytes);
    } else if (name == "utf-16le" || name == "utf-16") {
        *text = decodeWith(QStringConverter::Utf16LE, bytes);
    } else if (name == "utf-16be") {
        *text = decodeWith(QStringConverter::Utf16BE, bytes);
    } else {
        QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
        if (!decoder.isValid())
            return false;
        *text = decoder.decode(bytes);
    }
    return true;
}

QByteArray FeedLinkReader::sniffCharset(const QByteArray &body, const QByteArray &contentType)
{
    QString ignored;
    const QByteArray declared = charsetParameter(contentType);
    if (!declared.isEmpty() && decodeAs(declared, QByteArray(), &ignored))
        return declared;
    if (body.startsWith("\xef\xbb\xbf"))
        return "utf-8";
    if (body.startsWith("\xfe\xff"))
        return "utf-16be";
    if (body.startsWith("\xff\xfe"))
        return "utf-16le";

    // The top of the page read as Latin-1 is enough to find an ASCII <meta>;
    // the parser knows what is inside a comment or a script.
    QByteArray meta;
    const ParsedPage top(QString::fromLatin1(body.left(MetaScanBytes)).toUtf8());
    walkElements(top.document(), [&meta](const GumboElement &element) {
        meta = metaCharset(element);
        return meta.isEmpty();
    });
    meta = meta.toLower();
    // A page cannot announce UTF-16 in its own ASCII-compatible bytes.
    if (meta.startsWith("utf-16"))
        meta = "utf-8";
    if (meta == "x-user-defined")
        meta = "windows-1252";
    if (!meta.isEmpty() && decodeAs(meta, QByteArray(), &ignored))
        return meta;
    return "windows-1252";
}

QString FeedLinkReader::decode(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = sniffCharset(body, contentType);
    QByteArray bytes = body;
    // The decoders keep a byte-order mark as a character; the page's text does not.
    if (charset == "utf-8" && bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    else if (charset.startsWith("utf-16")
        && (bytes.startsWith("\xfe\xff") || bytes.startsWith("\xff\xfe")))
        bytes.remove(0, 2);
    QString text;
    if (!decodeAs(charset, bytes, &text))
        text = fromWindows1252(bytes);
    return text;
}

QString FeedLinkReader::feedType(const QString &typeAttribute)
{
    const QString type = typeAttribute.section(u';', 0, 0).trimmed().toLower();
    if (type == u"application/rss+xml" || type == u"application/atom+xml"
        || type == u"application/rdf+xml")
        return type;
    return QString();
}

FeedLinkList FeedLinkReader::read(
    const QByteArray &body, const QByteArray &contentType, const QUrl &pageAddress)
{
    return readText(decode(body, contentType), pageAddress);
}

FeedLinkList FeedLinkReader::readText(const QString &html, const QUrl &pageAddress)
{
    const ParsedPage page(html.toUtf8());

    // The first <base href> counts; it may itself be relative to the page.
    QUrl base = pageAddress;
    walkElements(page.document(), [&base, &pageAddress](const GumboElement &element) {
        if (element.tag != GUMBO_TAG_BASE || !hasAttribute(element, "href"))
            return true;
        const QUrl declared = pageAddress.resolved(QUrl(attribute(element, "href").trimmed()));
        if (declared.isValid() && !declared.scheme().isEmpty())
            base = declared;
        return false;
    });

    FeedLinkList links;
    QHash<QString, qsizetype> known;
    walkElements(page.document(), [&](const GumboElement &element) {
        if (element.tag != GUMBO_TAG_LINK)
            return true;
        const QString type = feedType(attribute(element, "type"));
        if (type.isEmpty())
            return true;
        // rel is a list of tokens separated by any HTML space.
        QString rel = attribute(element, "rel");
        for (QChar &c : rel) {
            if (isHtmlSpace(c))
                c = u' ';
        }
        bool alternate = false;
        for (const QString &token : rel.split(u' ', Qt::SkipEmptyParts))
            alternate = alternate || token.compare(u"alternate", Qt::CaseInsensitive) == 0;
        const QString href = attribute(element, "href").trimmed();
        if (!alternate || href.isEmpty())
            return true;
        const QUrl url = base.resolved(QUrl(href));
        const QString scheme = url.scheme();
        if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
            return true;
        FeedLink link{
            url.toString(QUrl::FullyEncoded), type, attribute(element, "title").simplified()};
        const auto seen = known.constFind(link.address);
        if (seen != known.cend()) {
            // The same feed twice: the first wins, but a title is better than none.
            FeedLink &first = links[*seen];
            if (first.title.isEmpty())
                first.title = link.title;
            return true;
        }
        known.insert(link.address, links.size());
        links.append(link);
        return true;
    });
    return links;
}
