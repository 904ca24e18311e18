#include "htmlvocabulary.h"

#include <QHash>

#include <iterator>

namespace {

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

} // namespace

// Dropped with their content: script, style, nested documents, plug-ins, raw
// text a browser would not parse as markup, and foreign markup with its own ways
// to run script. Dropped as tags: forms and their controls, page-level elements.
// The ordinary elements are listed so that each has a number of its own.
const HtmlVocabulary::ElementInfo HtmlVocabulary::s_elements[] = {
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
const int HtmlVocabulary::KnownElements = int(std::size(s_elements));

int HtmlVocabulary::elementNumber(QStringView lowerName)
{
    static const QHash<QStringView, int> numbers = [] {
        QHash<QStringView, int> map;
        for (int i = 0; i < KnownElements; ++i)
            map.insert(s_elements[i].name, i);
        return map;
    }();
    return numbers.value(lowerName, -1);
}

quint8 HtmlVocabulary::attributeFlags(QStringView lowerName)
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

qsizetype HtmlVocabulary::decodeReference(
    QStringView text, qsizetype pos, QChar out[2], int *outCount)
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
