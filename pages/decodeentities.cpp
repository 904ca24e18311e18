#include "decodeentities.h"

QString decodeEntities(const QString &text)
{
    // Almost every title is plain text: no copy for those.
    if (!text.contains(QLatin1Char('&')))
        return text;

    struct Replacement
    {
        QLatin1String entity;
        QChar character;
    };
    // The order matters: "&amp;" comes after the letters.
    static const Replacement replacements[] = {
        {QLatin1String("&auml;"), QChar(0x00E4)},
        {QLatin1String("&Auml;"), QChar(0x00C4)},
        {QLatin1String("&ouml;"), QChar(0x00F6)},
        {QLatin1String("&Ouml;"), QChar(0x00D6)},
        {QLatin1String("&uuml;"), QChar(0x00FC)},
        {QLatin1String("&Uuml;"), QChar(0x00DC)},
        {QLatin1String("&szlig;"), QChar(0x00DF)},
        {QLatin1String("&amp;"), QChar(u'&')},
        {QLatin1String("&lt;"), QChar(u'<')},
        {QLatin1String("&gt;"), QChar(u'>')},
        {QLatin1String("&quot;"), QChar(u'"')},
        {QLatin1String("&acute;"), QChar(0x00B4)},
    };

    QString result = text;
    for (const Replacement &r : replacements)
        result.replace(r.entity, QString(r.character), Qt::CaseSensitive);
    return result;
}
