#pragma once

#include <QString>
#include <QStringView>

// Makes feed-supplied HTML safe to put into a local page. Ordinary markup (text
// formatting, paragraphs, lists, tables, links, images) stays as it is; scripts,
// styles, frames, plug-ins, forms and their controls, meta, link and base elements
// go, with every on... attribute and every address that is not http, https,
// mailto or ftp (or an inline image for images). Linear in the input.
class HtmlSanitizer
{
public:
    // A fragment of feed HTML (a description, a title or a date text).
    static QString sanitize(const QString &html);

    // An address for a double-quoted href attribute: "#" when its scheme is not
    // allowed, otherwise the address with double quotes escaped.
    static QString safeHref(const QString &url);

    // Whether the address, as a browser reads it from an attribute value (entities
    // decoded, tabs and line breaks dropped), has an allowed scheme or none at all.
    static bool isSafeUrl(QStringView attributeValue, bool image = false);
};
