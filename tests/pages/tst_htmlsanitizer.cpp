#include "pages/htmlsanitizer.h"
#include "testhelpers.h"

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

// Markup passed through, elements that go, handlers and script addresses however
// spelled, and broken markup: one block each in the case file.
void TestHtmlSanitizer::sanitize_data()
{
    TestHelpers::addRows(QStringLiteral("cases/sanitize.txt"), {"input", "expected"});
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
