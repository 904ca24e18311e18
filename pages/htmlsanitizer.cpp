#include "htmlsanitizer.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <iterator>

// The filter reads a fragment the way a browser's HTML tokenizer does (tags,
// attributes with quoted, unquoted or missing values, comments, bogus markup)
// and writes back only what is safe. Whatever it drops never reaches the browser,
// so where it cannot tell exactly where dropped markup ends it drops more rather
// than less. Text is copied unchanged except a "<" that starts no tag, which is
// written as "&lt;" so that nothing the page writes after the fragment can be
// read as part of it.

namespace {

using NameBuffer = QVarLengthArray<QChar, 32>;

bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\f' || u == u'\r';
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiLetter(c) || (c.unicode() >= u'0' && c.unicode() <= u'9');
}

QChar asciiLower(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') ? QChar(char16_t(u + 32)) : c;
}

void lowerInto(QStringView text, NameBuffer &buffer)
{
    buffer.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        buffer[i] = asciiLower(text[i]);
}

QStringView view(const NameBuffer &buffer)
{
    return QStringView(buffer.constData(), buffer.size());
}

bool isPlainTagName(QStringView name)
{
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return isAsciiAlnum(c) || c == u'-' || c == u'_' || c == u':' || c == u'.';
    });
}

enum ElementFlag : quint8 {
    DropAll = 0x01, // the tag and everything up to its end tag go
    DropTag = 0x02, // the tag goes, its content stays and is filtered
    Void = 0x04, // never has content or an end tag
    ClosesItself = 0x08, // <li>one<li>two: the browser closes the first itself
    Image = 0x10, // its addresses may be inline images
    Foreign = 0x20, // SVG or MathML, where <x/> is complete in itself
};

struct ElementInfo
{
    QStringView name;
    quint8 flags;
};

// Dropped with their content: script, style, nested documents, plug-ins, raw
// text a browser would not parse as markup, and foreign markup with its own ways
// to run script. Dropped as tags: forms and their controls, page-level elements.
// The ordinary elements are listed so that each has a number of its own.
const ElementInfo elements[] = {
    {u"script", DropAll},
    {u"style", DropAll},
    {u"iframe", DropAll},
    {u"frameset", DropAll},
    {u"object", DropAll},
    {u"applet", DropAll},
    {u"noscript", DropAll},
    {u"noembed", DropAll},
    {u"noframes", DropAll},
    {u"template", DropAll},
    {u"svg", DropAll | Foreign},
    {u"math", DropAll | Foreign},
    {u"textarea", DropAll},
    {u"select", DropAll},
    {u"datalist", DropAll},
    {u"title", DropAll},
    {u"xmp", DropAll},
    {u"frame", DropTag | Void},
    {u"embed", DropTag | Void},
    {u"form", DropTag},
    {u"input", DropTag | Void | Image},
    {u"button", DropTag},
    {u"option", DropTag},
    {u"optgroup", DropTag},
    {u"fieldset", DropTag},
    {u"legend", DropTag},
    {u"label", DropTag},
    {u"output", DropTag},
    {u"keygen", DropTag | Void},
    {u"isindex", DropTag | Void},
    {u"meta", DropTag | Void},
    {u"link", DropTag | Void},
    {u"base", DropTag | Void},
    {u"basefont", DropTag | Void},
    {u"bgsound", DropTag | Void},
    {u"param", DropTag | Void},
    {u"html", DropTag},
    {u"head", DropTag},
    {u"body", DropTag},
    {u"plaintext", DropTag},
    {u"portal", DropTag},
    {u"slot", DropTag},
    {u"area", Void},
    {u"br", Void},
    {u"col", Void},
    {u"hr", Void},
    {u"img", Void | Image},
    {u"image", Void | Image},
    {u"source", Void | Image},
    {u"track", Void},
    {u"wbr", Void},
    {u"p", ClosesItself},
    {u"li", ClosesItself},
    {u"dt", ClosesItself},
    {u"dd", ClosesItself},
    {u"tr", ClosesItself},
    {u"td", ClosesItself},
    {u"th", ClosesItself},
    {u"video", Image},
    {u"audio", 0},
    {u"picture", 0},
    {u"a", 0},
    {u"abbr", 0},
    {u"acronym", 0},
    {u"address", 0},
    {u"article", 0},
    {u"aside", 0},
    {u"b", 0},
    {u"bdi", 0},
    {u"bdo", 0},
    {u"big", 0},
    {u"blockquote", 0},
    {u"caption", 0},
    {u"center", 0},
    {u"cite", 0},
    {u"code", 0},
    {u"colgroup", 0},
    {u"del", 0},
    {u"details", 0},
    {u"dfn", 0},
    {u"div", 0},
    {u"dl", 0},
    {u"em", 0},
    {u"figcaption", 0},
    {u"figure", 0},
    {u"font", 0},
    {u"footer", 0},
    {u"h1", 0},
    {u"h2", 0},
    {u"h3", 0},
    {u"h4", 0},
    {u"h5", 0},
    {u"h6", 0},
    {u"header", 0},
    {u"i", 0},
    {u"ins", 0},
    {u"kbd", 0},
    {u"main", 0},
    {u"map", 0},
    {u"mark", 0},
    {u"nav", 0},
    {u"nobr", 0},
    {u"ol", 0},
    {u"pre", 0},
    {u"q", 0},
    {u"s", 0},
    {u"samp", 0},
    {u"section", 0},
    {u"small", 0},
    {u"span", 0},
    {u"strike", 0},
    {u"strong", 0},
    {u"sub", 0},
    {u"summary", 0},
    {u"sup", 0},
    {u"table", 0},
    {u"tbody", 0},
    {u"tfoot", 0},
    {u"thead", 0},
    {u"time", 0},
    {u"tt", 0},
    {u"u", 0},
    {u"ul", 0},
    {u"var", 0},
};
constexpr int knownElements = int(std::size(elements));

// Number of a known element, or -1.
int elementNumber(QStringView lowerName)
{
    static const QHash<QStringView, int> numbers = [] {
        QHash<QStringView, int> map;
        for (int i = 0; i < knownElements; ++i)
            map.insert(elements[i].name, i);
        return map;
    }();
    return numbers.value(lowerName, -1);
}

enum AttributeFlag : quint8 {
    Url = 0x01, // holds one address
    UrlList = 0x02, // holds "address descriptor" candidates separated by commas
    Forbidden = 0x04, // a document or a form target of its own
};

quint8 attributeFlags(QStringView lowerName)
{
    static const QHash<QStringView, quint8> flags = {
        {u"href", Url},
        {u"src", Url},
        {u"action", Url},
        {u"background", Url},
        {u"cite", Url},
        {u"longdesc", Url},
        {u"lowsrc", Url},
        {u"dynsrc", Url},
        {u"poster", Url},
        {u"data", Url},
        {u"codebase", Url},
        {u"classid", Url},
        {u"usemap", Url},
        {u"profile", Url},
        {u"manifest", Url},
        {u"icon", Url},
        {u"xlink:href", Url},
        {u"xml:base", Url},
        {u"ping", Url},
        {u"archive", Url},
        {u"srcset", UrlList},
        {u"imagesrcset", UrlList},
        {u"srcdoc", Forbidden},
        {u"formaction", Forbidden},
    };
    return flags.value(lowerName, 0);
}

struct NamedReference
{
    QStringView name;
    char16_t character;
};

// The named references a browser turns into ASCII punctuation or white space: all
// that matters for finding a URL's scheme. Any other reference stays as it is.
const NamedReference namedReferences[] = {
    {u"Tab", u'\t'},
    {u"NewLine", u'\n'},
    {u"excl", u'!'},
    {u"quot", u'"'},
    {u"QUOT", u'"'},
    {u"num", u'#'},
    {u"dollar", u'$'},
    {u"percnt", u'%'},
    {u"amp", u'&'},
    {u"AMP", u'&'},
    {u"apos", u'\''},
    {u"lpar", u'('},
    {u"rpar", u')'},
    {u"ast", u'*'},
    {u"midast", u'*'},
    {u"plus", u'+'},
    {u"comma", u','},
    {u"period", u'.'},
    {u"sol", u'/'},
    {u"colon", u':'},
    {u"semi", u';'},
    {u"lt", u'<'},
    {u"LT", u'<'},
    {u"equals", u'='},
    {u"gt", u'>'},
    {u"GT", u'>'},
    {u"quest", u'?'},
    {u"commat", u'@'},
    {u"lsqb", u'['},
    {u"lbrack", u'['},
    {u"bsol", u'\\'},
    {u"rsqb", u']'},
    {u"rbrack", u']'},
    {u"Hat", u'^'},
    {u"lowbar", u'_'},
    {u"UnderBar", u'_'},
    {u"grave", u'`'},
    {u"DiacriticalGrave", u'`'},
    {u"lcub", u'{'},
    {u"lbrace", u'{'},
    {u"verbar", u'|'},
    {u"vert", u'|'},
    {u"VerticalLine", u'|'},
    {u"rcub", u'}'},
    {u"rbrace", u'}'},
    {u"nbsp", char16_t(0xA0)},
    {u"NonBreakingSpace", char16_t(0xA0)},
};

// Decodes the character reference at text[pos] == '&' as a browser does inside an
// attribute value. Returns the characters it stands for (at most two UTF-16 units)
// in out and the position after it, or pos + 1 and '&' when it is none.
qsizetype decodeReference(QStringView text, qsizetype pos, QChar out[2], int *outCount)
{
    const qsizetype n = text.size();
    qsizetype i = pos + 1;
    *outCount = 1;
    out[0] = u'&';
    if (i < n && text[i] == u'#') {
        ++i;
        bool hex = false;
        if (i < n && (text[i] == u'x' || text[i] == u'X')) {
            hex = true;
            ++i;
        }
        const qsizetype digitsStart = i;
        char32_t value = 0;
        bool overflow = false;
        while (i < n) {
            const char16_t u = text[i].unicode();
            int digit;
            if (u >= u'0' && u <= u'9')
                digit = u - u'0';
            else if (hex && u >= u'a' && u <= u'f')
                digit = u - u'a' + 10;
            else if (hex && u >= u'A' && u <= u'F')
                digit = u - u'A' + 10;
            else
                break;
            if (!overflow) {
                value = value * (hex ? 16 : 10) + char32_t(digit);
                if (value > 0x10FFFF)
                    overflow = true;
            }
            ++i;
        }
        if (i == digitsStart)
            return pos + 1; // "&#" without digits is text
        if (i < n && text[i] == u';')
            ++i;
        if (overflow || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
            value = 0xFFFD;
        if (QChar::requiresSurrogates(value)) {
            out[0] = QChar::highSurrogate(value);
            out[1] = QChar::lowSurrogate(value);
            *outCount = 2;
        } else {
            out[0] = QChar(char16_t(value));
        }
        return i;
    }
    qsizetype end = i;
    while (end < n && isAsciiAlnum(text[end]) && end - i < 32)
        ++end;
    if (end == i || end >= n || text[end] != u';')
        return pos + 1;
    const QStringView name = text.mid(i, end - i);
    for (const NamedReference &ref : namedReferences) {
        if (ref.name == name) {
            out[0] = QChar(ref.character);
            return end + 1;
        }
    }
    return pos + 1;
}

bool startsWithImageType(QStringView text, qsizetype pos)
{
    static constexpr QStringView image = u"image/";
    qsizetype matched = 0;
    QChar decoded[2];
    int count = 0;
    while (pos < text.size() && matched < image.size()) {
        QChar c = text[pos];
        if (c == u'&') {
            pos = decodeReference(text, pos, decoded, &count);
            c = count == 1 ? decoded[0] : QChar(0xFFFD);
        } else {
            ++pos;
        }
        if (c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (asciiLower(c) != image[matched])
            return false;
        ++matched;
    }
    return matched == image.size();
}

class Filter
{
public:
    explicit Filter(QStringView input) : m_in(input)
    {
        m_out.reserve(input.size() + 16);
        m_openCount.resize(knownElements);
    }

    QString run();

private:
    void text(qsizetype from, qsizetype to);
    void startTag();
    void endTag();
    // Skips to just after the next '>' (or to the end).
    void skipPast(QChar c);
    void skipComment();
    // Skips a dropped element's content and its end tag.
    void skipElement(QStringView lowerName);
    bool attributeIsSafe(
        quint8 elementFlags, QStringView lowerName, QStringView value, bool unquoted);
    // Known elements are numbered by the table, others as the fragment names them.
    int numberOf(QStringView lowerName);
    QStringView nameOf(int number) const;
    void openElement(int number, quint8 flags);
    void closeElement(int number, QStringView originalName);
    void writeEndTag(QStringView name);

    QStringView m_in;
    qsizetype m_pos = 0;
    QString m_out;
    QList<int> m_open;
    QList<int> m_openCount;
    QList<QString> m_otherNames;
    QHash<QString, int> m_otherNumbers;
};

QString Filter::run()
{
    const qsizetype n = m_in.size();
    while (m_pos < n) {
        const qsizetype lt = m_in.indexOf(u'<', m_pos);
        if (lt < 0) {
            text(m_pos, n);
            m_pos = n;
            break;
        }
        text(m_pos, lt);
        m_pos = lt;
        const QChar next = lt + 1 < n ? m_in[lt + 1] : QChar();
        if (isAsciiLetter(next)) {
            startTag();
        } else if (next == u'/') {
            const QChar after = lt + 2 < n ? m_in[lt + 2] : QChar();
            if (isAsciiLetter(after)) {
                endTag();
            } else if (lt + 2 >= n) {
                m_out.append(u"&lt;/");
                m_pos = n;
            } else {
                // "</>" or "</ ..." is bogus markup up to the next '>'.
                m_pos = lt + 2;
                skipPast(u'>');
            }
        } else if (next == u'!') {
            if (m_in.mid(lt + 2, 2) == u"--") {
                m_pos = lt + 4;
                skipComment();
            } else {
                m_pos = lt + 2;
                skipPast(u'>');
            }
        } else if (next == u'?') {
            m_pos = lt + 2;
            skipPast(u'>');
        } else {
            m_out.append(u"&lt;");
            m_pos = lt + 1;
        }
    }
    // Elements the fragment left open are closed here, so that they cannot take
    // in what the page writes after it.
    for (auto it = m_open.crbegin(); it != m_open.crend(); ++it)
        writeEndTag(nameOf(*it));
    return m_out;
}

void Filter::text(qsizetype from, qsizetype to)
{
    if (to > from)
        m_out.append(m_in.mid(from, to - from));
}

void Filter::skipPast(QChar c)
{
    const qsizetype at = m_in.indexOf(c, m_pos);
    m_pos = at < 0 ? m_in.size() : at + 1;
}

void Filter::skipComment()
{
    // "<!-->" and "<!--->" end at once; otherwise "-->" or "--!>" ends the comment.
    if (m_in.mid(m_pos).startsWith(u">")) {
        ++m_pos;
        return;
    }
    if (m_in.mid(m_pos).startsWith(u"->")) {
        m_pos += 2;
        return;
    }
    const qsizetype n = m_in.size();
    qsizetype i = m_pos;
    while (true) {
        const qsizetype dash = m_in.indexOf(u"--", i);
        if (dash < 0) {
            m_pos = n;
            return;
        }
        qsizetype j = dash + 2;
        while (j < n && m_in[j] == u'-')
            ++j;
        if (j < n && m_in[j] == u'>') {
            m_pos = j + 1;
            return;
        }
        if (j + 1 < n && m_in[j] == u'!' && m_in[j + 1] == u'>') {
            m_pos = j + 2;
            return;
        }
        i = j;
    }
}

void Filter::skipElement(QStringView lowerName)
{
    const qsizetype n = m_in.size();
    qsizetype i = m_pos;
    while (true) {
        const qsizetype at = m_in.indexOf(u"</", i);
        if (at < 0) {
            m_pos = n;
            return;
        }
        const qsizetype nameStart = at + 2;
        qsizetype k = 0;
        while (k < lowerName.size() && nameStart + k < n
            && asciiLower(m_in[nameStart + k]) == lowerName[k])
            ++k;
        const qsizetype after = nameStart + k;
        if (k == lowerName.size()
            && (after >= n || isSpace(m_in[after]) || m_in[after] == u'/' || m_in[after] == u'>')) {
            m_pos = after;
            skipPast(u'>');
            return;
        }
        i = at + 2;
    }
}

int Filter::numberOf(QStringView lowerName)
{
    const int known = elementNumber(lowerName);
    if (known >= 0)
        return known;
    const QString name = lowerName.toString();
    auto found = m_otherNumbers.constFind(name);
    if (found != m_otherNumbers.constEnd())
        return found.value();
    const int number = knownElements + int(m_otherNames.size());
    m_otherNames.append(name);
    m_otherNumbers.insert(name, number);
    m_openCount.append(0);
    return number;
}

QStringView Filter::nameOf(int number) const
{
    return number < knownElements ? elements[number].name
                                  : QStringView(m_otherNames.at(number - knownElements));
}

void Filter::writeEndTag(QStringView name)
{
    m_out.append(u"</");
    m_out.append(name);
    m_out.append(u'>');
}

void Filter::openElement(int number, quint8 flags)
{
    if ((flags & ClosesItself) && !m_open.isEmpty() && m_open.constLast() == number)
        return; // the browser closes the first itself
    m_open.append(number);
    ++m_openCount[number];
}

void Filter::closeElement(int number, QStringView originalName)
{
    // An end tag that closes nothing the fragment opened would close the page's
    // own divisions: it goes.
    if (m_openCount.at(number) == 0)
        return;
    while (!m_open.isEmpty()) {
        const int top = m_open.takeLast();
        --m_openCount[top];
        if (top == number)
            break;
        writeEndTag(nameOf(top));
    }
    writeEndTag(originalName);
}

bool Filter::attributeIsSafe(
    quint8 elementFlags, QStringView name, QStringView value, bool unquoted)
{
    if (name.isEmpty())
        return false;
    // Quotes, '<' or '`' in an unquoted value are markup errors that browsers
    // have read in different ways.
    if (unquoted) {
        for (QChar c : value) {
            if (c == u'"' || c == u'\'' || c == u'<' || c == u'`')
                return false;
        }
    }
    // Names a browser would still take apart differently, and every event handler.
    for (QChar c : name) {
        if (c == u'"' || c == u'\'' || c == u'<' || c == u'=' || c == u'`' || c.unicode() < 0x20)
            return false;
    }
    const quint8 flags = attributeFlags(name);
    if (name.startsWith(u"on") || (flags & Forbidden))
        return false;
    const bool image = (elementFlags & Image) || name == u"background" || name == u"poster";
    if (flags & UrlList) {
        // "url 1x, url 2x": every candidate's address must pass.
        qsizetype i = 0;
        while (i < value.size()) {
            while (i < value.size() && (isSpace(value[i]) || value[i] == u','))
                ++i;
            const qsizetype start = i;
            while (i < value.size() && !isSpace(value[i]))
                ++i;
            if (i > start) {
                QStringView url = value.mid(start, i - start);
                while (url.endsWith(u','))
                    url.chop(1);
                if (!HtmlSanitizer::isSafeUrl(url, true))
                    return false;
            }
            // Skip the descriptor up to the next comma.
            while (i < value.size() && value[i] != u',')
                ++i;
        }
        return true;
    }
    if (flags & Url)
        return HtmlSanitizer::isSafeUrl(value, image && name != u"href");
    return true;
}

void Filter::startTag()
{
    const qsizetype n = m_in.size();
    const qsizetype tagStart = m_pos;
    qsizetype i = tagStart + 1;
    const qsizetype nameStart = i;
    while (i < n && !isSpace(m_in[i]) && m_in[i] != u'/' && m_in[i] != u'>')
        ++i;
    const QStringView originalName = m_in.mid(nameStart, i - nameStart);
    NameBuffer lowerElement;
    lowerInto(originalName, lowerElement);
    const int known = elementNumber(view(lowerElement));
    const quint8 elementFlags = known >= 0 ? elements[known].flags : 0;

    // The tag is written while it is read, with only the kept attributes; if it
    // turns out to lose nothing, the original text replaces that copy.
    const qsizetype outStart = m_out.size();
    m_out.append(u'<');
    m_out.append(originalName);
    const auto abandon = [this, outStart, n] {
        // A tag cut off by the end of the text is no tag to a browser; written
        // out, it would swallow the page's own markup.
        m_out.truncate(outStart);
        m_pos = n;
    };

    bool dropped = false;
    bool selfClosing = false;
    qsizetype tailStart = i;
    NameBuffer lowerAttribute;
    while (true) {
        const qsizetype spanStart = i;
        while (i < n && (isSpace(m_in[i]) || (m_in[i] == u'/' && i + 1 < n && m_in[i + 1] != u'>')))
            ++i;
        if (i >= n)
            return abandon();
        if (m_in[i] == u'>' || m_in[i] == u'/') {
            // A '/' left here is followed by '>' or is the last character.
            selfClosing = m_in[i] == u'/';
            if (selfClosing && i + 1 >= n)
                return abandon();
            tailStart = spanStart;
            i += selfClosing ? 2 : 1;
            break;
        }
        // Attribute name; a leading '=' belongs to it.
        const qsizetype attrNameStart = i;
        ++i;
        while (i < n && !isSpace(m_in[i]) && m_in[i] != u'/' && m_in[i] != u'>' && m_in[i] != u'=')
            ++i;
        const qsizetype attrNameEnd = i;
        qsizetype j = i;
        while (j < n && isSpace(m_in[j]))
            ++j;
        QStringView value;
        bool unquoted = false;
        if (j < n && m_in[j] == u'=') {
            ++j;
            while (j < n && isSpace(m_in[j]))
                ++j;
            if (j >= n)
                return abandon();
            const QChar quote = m_in[j];
            if (quote == u'"' || quote == u'\'') {
                const qsizetype close = m_in.indexOf(quote, j + 1);
                if (close < 0)
                    return abandon();
                value = m_in.mid(j + 1, close - j - 1);
                i = close + 1;
            } else if (quote == u'>') {
                i = j; // "name=>" has an empty value
            } else {
                const qsizetype valueStart = j;
                while (j < n && !isSpace(m_in[j]) && m_in[j] != u'>')
                    ++j;
                value = m_in.mid(valueStart, j - valueStart);
                unquoted = true;
                i = j;
            }
        }
        lowerInto(m_in.mid(attrNameStart, attrNameEnd - attrNameStart), lowerAttribute);
        if (attributeIsSafe(elementFlags, view(lowerAttribute), value, unquoted)) {
            // One space of its own, so that removing a neighbour cannot join it
            // to another attribute.
            m_out.append(u' ');
            m_out.append(m_in.mid(attrNameStart, i - attrNameStart));
        } else {
            dropped = true;
        }
    }
    m_pos = i;

    if (!isPlainTagName(originalName)) {
        m_out.truncate(outStart);
        return;
    }
    if (elementFlags & DropAll) {
        m_out.truncate(outStart);
        if (!(selfClosing && (elementFlags & Foreign)))
            skipElement(view(lowerElement));
        return;
    }
    if (elementFlags & DropTag) {
        m_out.truncate(outStart);
        return;
    }

    if (!dropped) {
        m_out.truncate(outStart);
        m_out.append(m_in.mid(tagStart, m_pos - tagStart));
    } else {
        // "/>" right after an unquoted value would become part of it.
        if (m_in[tailStart] == u'/')
            m_out.append(u' ');
        m_out.append(m_in.mid(tailStart, m_pos - tailStart));
    }
    if (!(elementFlags & Void))
        openElement(known >= 0 ? known : numberOf(view(lowerElement)), elementFlags);
}

void Filter::endTag()
{
    const qsizetype n = m_in.size();
    qsizetype i = m_pos + 2;
    const qsizetype nameStart = i;
    while (i < n && !isSpace(m_in[i]) && m_in[i] != u'/' && m_in[i] != u'>')
        ++i;
    const QStringView originalName = m_in.mid(nameStart, i - nameStart);
    // End tags may carry attributes; a browser reads them like a start tag's.
    while (i < n && m_in[i] != u'>') {
        if (m_in[i] == u'=') {
            ++i;
            while (i < n && isSpace(m_in[i]))
                ++i;
            if (i < n && (m_in[i] == u'"' || m_in[i] == u'\'')) {
                const qsizetype close = m_in.indexOf(m_in[i], i + 1);
                if (close < 0)
                    break;
                i = close + 1;
                continue;
            }
        }
        if (i < n && m_in[i] != u'>')
            ++i;
    }
    if (i >= n) {
        m_pos = n;
        return;
    }
    m_pos = i + 1;
    NameBuffer lower;
    lowerInto(originalName, lower);
    if (!isPlainTagName(originalName))
        return;
    const int known = elementNumber(view(lower));
    if (known >= 0 && (elements[known].flags & (DropAll | DropTag | Void)))
        return;
    closeElement(known >= 0 ? known : numberOf(view(lower)), originalName);
}

} // namespace

QString HtmlSanitizer::sanitize(const QString &html)
{
    if (html.contains(QChar(0))) {
        // A browser reads NUL as U+FFFD; so does the filter.
        QString copy = html;
        copy.replace(QChar(0), QChar(0xFFFD));
        return sanitize(copy);
    }
    if (!html.contains(u'<'))
        return html;
    return Filter(html).run();
}

bool HtmlSanitizer::isSafeUrl(QStringView value, bool image)
{
    // A browser decodes the references, drops tabs and line breaks anywhere and
    // other controls and spaces at the start; the scheme is what then precedes
    // the first ':' ahead of any '/', '?' or '#'.
    QVarLengthArray<QChar, 16> scheme;
    QChar decoded[2];
    int count = 0;
    qsizetype i = 0;
    bool leading = true;
    bool tooLong = false;
    while (i < value.size()) {
        QChar c = value[i];
        if (c == u'&') {
            i = decodeReference(value, i, decoded, &count);
            c = count == 1 ? decoded[0] : QChar(0xFFFD);
        } else {
            ++i;
        }
        if (c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (leading && c.unicode() <= 0x20)
            continue;
        leading = false;
        if (c == u'/' || c == u'?' || c == u'#')
            return true;
        if (c == u':') {
            if (tooLong)
                return false;
            const QStringView name(scheme.constData(), scheme.size());
            if (name == u"http" || name == u"https" || name == u"mailto" || name == u"ftp")
                return true;
            return image && name == u"data" && startsWithImageType(value, i);
        }
        if (scheme.size() < 16)
            scheme.append(asciiLower(c));
        else
            tooLong = true; // not one of the allowed schemes in any case
    }
    return true;
}

QString HtmlSanitizer::safeHref(const QString &url)
{
    if (!isSafeUrl(url))
        return QStringLiteral("#");
    if (!url.contains(u'"'))
        return url;
    QString escaped = url;
    escaped.replace(u'"', QLatin1String("&quot;"));
    return escaped;
}
