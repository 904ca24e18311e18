#include "htmlsanitizer.h"
#include "htmlvocabulary.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>

// The filter reads a fragment the way a browser's HTML tokenizer does (tags,
// attributes with quoted, unquoted or missing values, comments, bogus markup)
// and writes back only what is safe. Whatever it drops never reaches the browser,
// so where it cannot tell exactly where dropped markup ends it drops more rather
// than less. Text is copied unchanged except a "<" that starts no tag, which is
// written as "&lt;" so that nothing the page writes after the fragment can be
// read as part of it.

namespace {

using NameBuffer = QVarLengthArray<QChar, 32>;

void lowerInto(QStringView text, NameBuffer &buffer)
{
    buffer.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        buffer[i] = HtmlVocabulary::asciiLower(text[i]);
}

QStringView view(const NameBuffer &buffer)
{
    return QStringView(buffer.constData(), buffer.size());
}

bool isPlainTagName(QStringView name)
{
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return HtmlVocabulary::isAsciiAlnum(c) || c == u'-' || c == u'_' || c == u':' || c == u'.';
    });
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
            pos = HtmlVocabulary::decodeReference(text, pos, decoded, &count);
            c = count == 1 ? decoded[0] : QChar(0xFFFD);
        } else {
            ++pos;
        }
        if (c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (HtmlVocabulary::asciiLower(c) != image[matched])
            return false;
        ++matched;
    }
    return matched == image.size();
}

// Derived only for the vocabulary's names: it has no state of its own.
class Filter : private HtmlVocabulary
{
public:
    explicit Filter(QStringView input) : m_in(input)
    {
        m_out.reserve(input.size() + 16);
        m_openCount.resize(KnownElements);
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
    const int number = KnownElements + int(m_otherNames.size());
    m_otherNames.append(name);
    m_otherNumbers.insert(name, number);
    m_openCount.append(0);
    return number;
}

QStringView Filter::nameOf(int number) const
{
    return number < KnownElements ? knownName(number)
                                  : QStringView(m_otherNames.at(number - KnownElements));
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
    const quint8 elementFlags = known >= 0 ? knownFlags(known) : 0;

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
    if (known >= 0 && (knownFlags(known) & (DropAll | DropTag | Void)))
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
            i = HtmlVocabulary::decodeReference(value, i, decoded, &count);
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
            scheme.append(HtmlVocabulary::asciiLower(c));
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
