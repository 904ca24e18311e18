#pragma once

#include <QChar>
#include <QStringView>

// What the feed-HTML filter knows of HTML: which elements it keeps, which it
// drops and how, which attributes hold addresses, and the character references
// a browser decodes in attribute values. Names are looked up in lower case.
class HtmlVocabulary
{
public:
    enum ElementFlag : quint8 {
        DropAll = 0x01, // the tag and everything up to its end tag go
        DropTag = 0x02, // the tag goes, its content stays and is filtered
        Void = 0x04, // never has content or an end tag
        ClosesItself = 0x08, // <li>one<li>two: the browser closes the first itself
        Image = 0x10, // its addresses may be inline images
        Foreign = 0x20, // SVG or MathML, where <x/> is complete in itself
    };

    enum AttributeFlag : quint8 {
        Url = 0x01, // holds one address
        UrlList = 0x02, // holds "address descriptor" candidates separated by commas
        Forbidden = 0x04, // a document or a form target of its own
    };

    // The known elements are numbered from 0 to KnownElements - 1.
    static const int KnownElements;
    // Number of a known element, or -1.
    static int elementNumber(QStringView lowerName);
    static QStringView knownName(int number) { return s_elements[number].name; }
    static quint8 knownFlags(int number) { return s_elements[number].flags; }

    static quint8 attributeFlags(QStringView lowerName);

    // Decodes the character reference at text[pos] == '&' as a browser does inside
    // an attribute value. Returns the characters it stands for (at most two UTF-16
    // units) in out and the position after it, or pos + 1 and '&' when it is none.
    static qsizetype decodeReference(QStringView text, qsizetype pos, QChar out[2], int *outCount);

    // Characters as the browser's tokenizer classes them.
    static bool isSpace(QChar c)
    {
        const char16_t u = c.unicode();
        return u == u' ' || u == u'\t' || u == u'\n' || u == u'\f' || u == u'\r';
    }
    static bool isAsciiLetter(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    }
    static bool isAsciiAlnum(QChar c)
    {
        return isAsciiLetter(c) || (c.unicode() >= u'0' && c.unicode() <= u'9');
    }
    static QChar asciiLower(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= u'A' && u <= u'Z') ? QChar(char16_t(u + 32)) : c;
    }

private:
    struct ElementInfo
    {
        QStringView name;
        quint8 flags;
    };
    static const ElementInfo s_elements[];
};
