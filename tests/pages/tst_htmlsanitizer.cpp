#include "viewer/htmlsanitizer.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class TestHtmlSanitizer : public QObject
{
    Q_OBJECT
private slots:
    void sanitize_data();
    void sanitize();
    void safeHref_data();
    void safeHref();
    void randomHostileMixesStayHarmless();
};

void TestHtmlSanitizer::sanitize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // Ordinary markup passes byte for byte.
    QTest::newRow("plain text") << "Tom & Jerry > all"
                                << "Tom & Jerry > all";
    QTest::newRow("formatting and link")
        << "<p>Hi <b>there</b>, <a href=\"http://x.org/?a=1&amp;b=2\" title='t'>more</a></p>"
        << "<p>Hi <b>there</b>, <a href=\"http://x.org/?a=1&amp;b=2\" title='t'>more</a></p>";
    QTest::newRow("image, list, table")
        << "<img src=\"https://x.org/a.png\" alt=\"a\"/><ul><li>1</li></ul>"
           "<table><tr><td>c</td></tr></table><br>"
        << "<img src=\"https://x.org/a.png\" alt=\"a\"/><ul><li>1</li></ul>"
           "<table><tr><td>c</td></tr></table><br>";
    QTest::newRow("relative and mail links")
        << "<a href=\"/p\">a</a><a href=\"#f\">b</a>"
           "<a href=\"mailto:a@b.c\">c</a><a href=ftp://f/>d</a>"
        << "<a href=\"/p\">a</a><a href=\"#f\">b</a>"
           "<a href=\"mailto:a@b.c\">c</a><a href=ftp://f/>d</a>";
    QTest::newRow("inline image") << "<img src=\"data:image/png;base64,AAAA\">"
                                  << "<img src=\"data:image/png;base64,AAAA\">";

    // Elements that go with their content.
    QTest::newRow("script") << "a<script>alert(1)</script>b"
                            << "ab";
    QTest::newRow("script upper case") << "a<SCRIPT type=x>alert(1)</ScRiPt >b"
                                       << "ab";
    QTest::newRow("script never closed") << "a<script>alert(1)<p>b"
                                         << "a";
    QTest::newRow("style") << "<style>*{x:y}</style>t"
                           << "t";
    QTest::newRow("iframe") << "<iframe src=\"http://x\"></iframe>t"
                            << "t";
    QTest::newRow("svg with script") << "<svg><script>alert(1)</script></svg>t"
                                     << "t";
    QTest::newRow("svg animate")
        << "<svg><a><animate attributeName=href values=javascript:alert(1) "
           "/><text>x</text></a></svg>t"
        << "t";
    QTest::newRow("math") << "<math><mtext><a href=\"javascript:alert(1)\">x</a></mtext></math>t"
                          << "t";
    QTest::newRow("object and embed") << "<object data=x.swf>o</object><embed src=x.swf>t"
                                      << "t";
    QTest::newRow("noscript") << "<noscript><img src=x onerror=alert(1)></noscript>t"
                              << "t";

    // Elements that go while their content stays.
    QTest::newRow("form controls") << "<form action=\"http://x\"><input name=a><button>Go</button>"
                                      "<select><option>1</option></select></form>"
                                   << "Go";
    QTest::newRow("meta, link, base") << "<meta http-equiv=refresh content=0><link rel=x href=y>"
                                         "<base href=\"http://evil/\">t"
                                      << "t";
    QTest::newRow("body attributes") << "<body onload=alert(1)>t</body>"
                                     << "t";

    // Event handlers in every spelling.
    QTest::newRow("onerror") << "<img src=\"x.png\" onerror=\"alert(1)\">"
                             << "<img src=\"x.png\">";
    QTest::newRow("upper case handler") << "<IMG SRC=x.png ONERROR=alert(1)>"
                                        << "<IMG SRC=x.png>";
    QTest::newRow("slash before handler") << "<img/onerror=alert(1)>"
                                          << "<img>";
    QTest::newRow("handler after quoted value") << "<img src=\"x\"onerror=alert(1) alt=a>"
                                                << "<img src=\"x\" alt=a>";
    QTest::newRow("neighbours not joined") << "<a o onclick=\"\"nerror=alert(1)>x</a>"
                                           << "<a o nerror=alert(1)>x</a>";
    QTest::newRow("quote in unquoted value") << "<a href=x\"y title=t>z</a>"
                                             << "<a title=t>z</a>";
    QTest::newRow("unquoted value not extended") << "<a title=a onclick=\"x\"/>t</a>"
                                                 << "<a title=a />t</a>";

    // Addresses with schemes that run script.
    QTest::newRow("javascript link") << "<a href=\"javascript:alert(1)\">x</a>"
                                     << "<a>x</a>";
    QTest::newRow("mixed case") << "<a href='JaVaScRiPt:alert(1)'>x</a>"
                                << "<a>x</a>";
    QTest::newRow("leading space") << "<a href=\" javascript:alert(1)\">x</a>"
                                   << "<a>x</a>";
    QTest::newRow("control inside")
        << QStringLiteral("<a href=\"\x01java\tscript:alert(1)\">x</a>") << "<a>x</a>";
    QTest::newRow("decimal reference") << "<a href=\"&#106;avascript:alert(1)\">x</a>"
                                       << "<a>x</a>";
    QTest::newRow("padded reference") << "<a href=&#0000106avascript:alert(1)>x</a>"
                                      << "<a>x</a>";
    QTest::newRow("hex reference") << "<a href=\"&#X6a;avascript:alert(1)\">x</a>"
                                   << "<a>x</a>";
    QTest::newRow("named tab and colon") << "<a href=\"java&Tab;script&colon;alert(1)\">x</a>"
                                         << "<a>x</a>";
    QTest::newRow("vbscript") << "<a href=vbscript:msgbox>x</a>"
                              << "<a>x</a>";
    QTest::newRow("data page") << "<a href=\"data:text/html,<script>alert(1)</script>\">x</a>"
                               << "<a>x</a>";
    QTest::newRow("data image as link") << "<a href=\"data:image/png,AA\">x</a>"
                                        << "<a>x</a>";
    QTest::newRow("data page as image") << "<img src=\"data:text/html,x\" alt=a>"
                                        << "<img alt=a>";
    QTest::newRow("srcset candidate") << "<img src=a.png srcset=\"b.png 1x, javascript:x 2x\">"
                                      << "<img src=a.png>";
    QTest::newRow("srcset fine") << "<img srcset=\"b.png 1x, http://x/c.png 2x\">"
                                 << "<img srcset=\"b.png 1x, http://x/c.png 2x\">";
    QTest::newRow("background") << "<table background=\"javascript:x\"><tr><td>t</td></tr></table>"
                                << "<table><tr><td>t</td></tr></table>";

    // Broken markup is no way round the filter, and cannot take in the page after it.
    QTest::newRow("tag cut off") << "text <img src=x onerror=alert(1)"
                                 << "text ";
    QTest::newRow("quote never closed") << "a<a href=\"http://x>b</a>"
                                        << "a";
    QTest::newRow("lone angle brackets") << "a < b <3 </ x"
                                         << "a &lt; b &lt;3 ";
    QTest::newRow("trailing end-tag opener") << "a</"
                                             << "a&lt;/";
    QTest::newRow("stray end tags") << "a</div></div>b</p>"
                                    << "ab";
    QTest::newRow("left open") << "<div><b>bold"
                               << "<div><b>bold</b></div>";
    QTest::newRow("closing skips inner") << "<b><i>x</b>y"
                                         << "<b><i>x</i></b>y";
    QTest::newRow("comment") << "a<!-- <script>alert(1)</script> -->b"
                             << "ab";
    QTest::newRow("abrupt comment") << "<!--><img src=x onerror=alert(1)>"
                                    << "<img src=x>";
    QTest::newRow("bang comment end") << "<!-- x --!><b>y</b>"
                                      << "<b>y</b>";
    QTest::newRow("bogus markup") << "<!DOCTYPE html><?xml x?><![CDATA[<b>]]>t"
                                  << "]]>t";
    QTest::newRow("nul in tag name") << QString::fromUtf16(u"<scr\0ipt>x</scr\0ipt>", 20) << "x";
}

void TestHtmlSanitizer::sanitize()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(HtmlSanitizer::sanitize(input), expected);
}

void TestHtmlSanitizer::safeHref_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("http") << "http://x.org/a?b=1&c=2"
                          << "http://x.org/a?b=1&c=2";
    QTest::newRow("double quote") << "http://x.org/\"onmouseover=\"alert(1)"
                                  << "http://x.org/&quot;onmouseover=&quot;alert(1)";
    QTest::newRow("mailto") << "mailto:a@b.c"
                            << "mailto:a@b.c";
    QTest::newRow("relative") << "item.html#x"
                              << "item.html#x";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "#";
    QTest::newRow("spaced javascript") << "  JavaScript:alert(1)"
                                       << "#";
    QTest::newRow("encoded javascript") << "&#x6A;avascript:alert(1)"
                                        << "#";
    QTest::newRow("file") << "file:///etc/passwd"
                          << "#";
    QTest::newRow("inline image") << "data:image/png;base64,AA"
                                  << "#";
}

void TestHtmlSanitizer::safeHref()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(HtmlSanitizer::safeHref(url), expected);
}

void TestHtmlSanitizer::randomHostileMixesStayHarmless()
{
    // Pieces of hostile markup glued together at random: whatever the mix, no
    // script element, handler or script address may come out, and filtering the
    // result again changes nothing.
    const QStringList pieces = {"<script>", "</script>", "<img src=x ", "onerror=alert(1)", ">",
        "<", "\"", "'", "<a href=", "javascript:alert(1)", "&#106;", "<!--", "-->", "<svg>",
        "</svg>", "<style>", "<b>", "</b>", "</div>", "text", " ", "/", "=", "<iframe>", "<p>",
        "<ScRiPt>", "ONLOAD=x", "<!", "<?", "&", "\t", "<table>", "</", "<math>",
        "java&Tab;script:x", " src=", "&colon;", "<li>", "</a>"};
    // Every "<" that survives opens a tag, and no unquoted value or name holds a
    // quote, so tags and attributes are easy to pick out.
    const QRegularExpression tag(
        QStringLiteral("<([a-zA-Z][^\\s/>]*)((?:[^>\"']|\"[^\"]*\"|'[^']*')*)"));
    const QRegularExpression attribute(
        QStringLiteral("([^\\s/>\"'=]+)(?:\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+))?"));
    const QStringList forbiddenElements = {"script", "iframe", "svg", "math", "style"};
    QRandomGenerator random(20240101);
    for (int round = 0; round < 3000; ++round) {
        QString input;
        const int length = int(random.bounded(1, 40));
        for (int i = 0; i < length; ++i)
            input += pieces.at(int(random.bounded(pieces.size())));
        const QString output = HtmlSanitizer::sanitize(input);
        const QString context = QStringLiteral("%1\n  -> %2").arg(input, output);

        auto tags = tag.globalMatch(output);
        while (tags.hasNext()) {
            const QRegularExpressionMatch t = tags.next();
            QVERIFY2(!forbiddenElements.contains(t.captured(1).toLower()), qPrintable(context));
            auto attributes = attribute.globalMatch(t.captured(2));
            while (attributes.hasNext()) {
                const QRegularExpressionMatch a = attributes.next();
                const QString name = a.captured(1).toLower();
                QString value = a.captured(2);
                if (value.startsWith(u'"') || value.startsWith(u'\''))
                    value = value.mid(1, value.size() - 2);
                value.replace(QLatin1String("&#106;"), QLatin1String("j"));
                value.remove(QRegularExpression(QStringLiteral("[\\t\\n\\r]")));
                value = value.trimmed().toLower();
                QVERIFY2(!name.startsWith(QLatin1String("on")), qPrintable(context));
                if (name == QLatin1String("href") || name == QLatin1String("src"))
                    QVERIFY2(!value.startsWith(QLatin1String("javascript:")), qPrintable(context));
            }
        }
        QVERIFY2(HtmlSanitizer::sanitize(output) == output, qPrintable(context));
    }
}

QTEST_APPLESS_MAIN(TestHtmlSanitizer)
#include "tst_htmlsanitizer.moc"
