#include "pages/htmlsanitizer.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class TestHtmlSanitizer : public QObject
{
    Q_OBJECT
private slots:
    void sanitize_data();
    void sanitize();
    void safeHref();
    void randomHostileMixesStayHarmless();
};

static void row(const char *name, const QString &input, const QString &expected)
{
    QTest::newRow(name) << input << expected;
}

void TestHtmlSanitizer::sanitize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // Ordinary markup passes byte for byte.
    for (const char *kept : {"Tom & Jerry > all",
             "<p>Hi <b>there</b>, <a href=\"http://x.org/?a=1&amp;b=2\" title='t'>more</a></p>",
             "<img src=\"https://x.org/a.png\" alt=\"a\"/><ul><li>1</li></ul><table><tr><td>c"
             "</td></tr></table><br>",
             "<a href=\"/p\">a</a><a href=\"#f\">b</a><a href=\"mailto:a@b.c\">c</a>"
             "<a href=ftp://f/>d</a>",
             "<img src=\"data:image/png;base64,AAAA\">",
             "<img srcset=\"b.png 1x, http://x/c.png 2x\">"})
        row(kept, kept, kept);

    // Elements that go, with their content or (forms, body) without their tags.
    for (const char *dropped : {"<style>*{x:y}</style>t", "<iframe src=\"http://x\"></iframe>t",

             "<svg><a><animate attributeName=href values=javascript:alert(1) /><text>x</text></a>"
             "</svg>t",
             "<math><mtext><a href=\"javascript:alert(1)\">x</a></mtext></math>t",
             "<object data=x.swf>o</object><embed src=x.swf>t",
             "<noscript><img src=x onerror=alert(1)></noscript>t",
             "<meta http-equiv=refresh content=0><link rel=x href=y><base href=\"http://evil/\">t",
             "<body onload=alert(1)>t</body>",
             "<form action=\"http://x\"><input "
             "name=a><button>t</button><select><option>1</option></select></form>"})
        row(dropped, dropped, "t");
    row("script", "a<script>alert(1)</script>b", "ab");
    row("script upper case", "a<SCRIPT type=x>alert(1)</ScRiPt >b", "ab");
    row("script never closed", "a<script>alert(1)<p>b", "a");

    // Event handlers in every spelling.
    row("onerror", "<img src=\"x.png\" onerror=\"alert(1)\">", "<img src=\"x.png\">");
    row("upper case handler", "<IMG SRC=x.png ONERROR=alert(1)>", "<IMG SRC=x.png>");
    row("slash before handler", "<img/onerror=alert(1)>", "<img>");
    row("handler after quoted value", "<img src=\"x\"onerror=alert(1) alt=a>",
        "<img src=\"x\" alt=a>");
    row("neighbours not joined", "<a o onclick=\"\"nerror=alert(1)>x</a>",
        "<a o nerror=alert(1)>x</a>");
    row("quote in unquoted value", "<a href=x\"y title=t>z</a>", "<a title=t>z</a>");
    row("unquoted value not extended", "<a title=a onclick=\"x\"/>t</a>", "<a title=a />t</a>");

    // Addresses with schemes that run script, however spelled.
    for (const char *href :
        {"\"javascript:alert(1)\"", "'JaVaScRiPt:alert(1)'", "\" javascript:alert(1)\"",
            "\"\x01java\tscript:alert(1)\"", "\"&#106;avascript:alert(1)\"",
            "&#0000106avascript:alert(1)", "\"&#X6a;avascript:alert(1)\"",
            "\"java&Tab;script&colon;alert(1)\"", "vbscript:msgbox",
            "\"data:text/html,<script>alert(1)</script>\"", "\"data:image/png,AA\""})
        row(href, QStringLiteral("<a href=%1>x</a>").arg(QString::fromUtf8(href)), "<a>x</a>");
    row("data page as image", "<img src=\"data:text/html,x\" alt=a>", "<img alt=a>");
    row("srcset candidate", "<img src=a.png srcset=\"b.png 1x, javascript:x 2x\">",
        "<img src=a.png>");
    row("background", "<table background=\"javascript:x\"><tr><td>t</td></tr></table>",
        "<table><tr><td>t</td></tr></table>");

    // Broken markup is no way round the filter, and cannot take in the page after it.
    row("tag cut off", "text <img src=x onerror=alert(1)", "text ");
    row("quote never closed", "a<a href=\"http://x>b</a>", "a");
    row("lone angle brackets", "a < b <3 </ x", "a &lt; b &lt;3 ");
    row("trailing end-tag opener", "a</", "a&lt;/");
    row("stray end tags", "a</div></div>b</p>", "ab");
    row("left open", "<div><b>bold", "<div><b>bold</b></div>");
    row("closing skips inner", "<b><i>x</b>y", "<b><i>x</i></b>y");
    row("comment", "a<!-- <script>alert(1)</script> -->b", "ab");
    row("abrupt comment", "<!--><img src=x onerror=alert(1)>", "<img src=x>");
    row("bang comment end", "<!-- x --!><b>y</b>", "<b>y</b>");
    row("bogus markup", "<!DOCTYPE html><?xml x?><![CDATA[<b>]]>t", "]]>t");
    row("nul in tag name", QString::fromUtf16(u"<scr\0ipt>x</scr\0ipt>", 20), "x");
}

void TestHtmlSanitizer::sanitize()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(HtmlSanitizer::sanitize(input), expected);
}

void TestHtmlSanitizer::safeHref()
{
    for (const char *kept : {"http://x.org/a?b=1&c=2", "mailto:a@b.c", "item.html#x", ""})
        QCOMPARE(HtmlSanitizer::safeHref(QString::fromUtf8(kept)), QString::fromUtf8(kept));
    QCOMPARE(HtmlSanitizer::safeHref(QStringLiteral("http://x.org/\"onmouseover=\"alert(1)")),
        QStringLiteral("http://x.org/&quot;onmouseover=&quot;alert(1)"));
    for (const char *refused : {"javascript:alert(1)", "  JavaScript:alert(1)",
             "&#x6A;avascript:alert(1)", "file:///etc/passwd", "data:image/png;base64,AA"})
        QCOMPARE(HtmlSanitizer::safeHref(QString::fromUtf8(refused)), QStringLiteral("#"));
}

void TestHtmlSanitizer::randomHostileMixesStayHarmless()
{
    // Hostile pieces glued together at random: no script element, handler or script
    // address may come out, and filtering the result again changes nothing.
    const QStringList pieces = {"<script>", "</script>", "<img src=x ", "onerror=alert(1)", ">",
        "<", "\"", "'", "<a href=", "javascript:alert(1)", "&#106;", "<!--", "-->", "<svg>",
        "</svg>", "<style>", "<b>", "</b>", "</div>", "text", " ", "/", "=", "<iframe>", "<p>",
        "<ScRiPt>", "ONLOAD=x", "<!", "<?", "&", "\t", "<table>", "</", "<math>",
        "java&Tab;script:x", " src=", "&colon;", "<li>", "</a>"};
    // Every surviving "<" opens a tag and no unquoted value holds a quote, so tags
    // and attributes are easy to pick out.
    const QRegularExpression tag(
        QStringLiteral("<([a-zA-Z][^\\s/>]*)((?:[^>\"']|\"[^\"]*\"|'[^']*')*)"));
    const QRegularExpression attribute(
        QStringLiteral("([^\\s/>\"'=]+)(?:\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+))?"));
    const QStringList forbidden = {"script", "iframe", "svg", "math", "style"};
    QRandomGenerator random(20240101);
    for (int round = 0; round < 3000; ++round) {
        QString input;
        for (int i = int(random.bounded(1, 40)); i > 0; --i)
            input += pieces.at(int(random.bounded(pieces.size())));
        const QString output = HtmlSanitizer::sanitize(input);
        const QByteArray context = QStringLiteral("%1\n  -> %2").arg(input, output).toUtf8();

        for (auto tags = tag.globalMatch(output); tags.hasNext();) {
            const QRegularExpressionMatch t = tags.next();
            QVERIFY2(!forbidden.contains(t.captured(1).toLower()), context);
            for (auto attrs = attribute.globalMatch(t.captured(2)); attrs.hasNext();) {
                const QRegularExpressionMatch a = attrs.next();
                const QString name = a.captured(1).toLower();
                QString value = a.captured(2);
                if (value.startsWith(u'"') || value.startsWith(u'\''))
                    value = value.mid(1, value.size() - 2);
                value.replace(QLatin1String("&#106;"), QLatin1String("j"));
                value.remove(QRegularExpression(QStringLiteral("[\\t\\n\\r]")));
                QVERIFY2(!name.startsWith(QLatin1String("on")), context);
                if (name == QLatin1String("href") || name == QLatin1String("src"))
                    QVERIFY2(!value.trimmed().toLower().startsWith(QLatin1String("javascript:")),
                        context);
            }
        }
        QVERIFY2(HtmlSanitizer::sanitize(output) == output, context);
    }
}

QTEST_APPLESS_MAIN(TestHtmlSanitizer)
#include "tst_htmlsanitizer.moc"
