// The compiled-in pictures, style sheet and page script.

#include "testhelpers.h"

#include <QFile>
#include <QImageReader>
#include <QJSEngine>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Words
{
    QString toggleRead, toggleUnread, mark, unmark;
};
const Words english{"Toggle Read", "Toggle Unread", "Mark", "Unmark"};
const Words german{
    "Als gelesen kennzeichnen", "Als ungelesen kennzeichnen", "Markieren", "Markierung lösen"};

// The page script as the viewer writes it for a language (the four words
// replaced in this order, as bytes), run on a fake document.
class Page
{
public:
    explicit Page(const Words &words)
    {
        QByteArray script = TestHelpers::readFile(":/rss");
        script.replace("Mark", words.mark.toUtf8());
        script.replace("Unmark", words.unmark.toUtf8());
        script.replace("Toggle Read", words.toggleRead.toUtf8());
        script.replace("Toggle Unread", words.toggleUnread.toUtf8());
        ok = run(QString("var W = {TR: '%1', TU: '%2', M: '%3', UM: '%4'};")
                     .arg(words.toggleRead, words.toggleUnread, words.mark, words.unmark))
            && run(TestHelpers::readFile(":/test/fakedocument.js")) && run(script);
    }
    bool run(const QString &code)
    {
        m_last = m_engine.evaluate(code);
        if (m_last.isError())
            qWarning() << m_last.toString() << "line" << m_last.property("lineNumber").toInt();
        return !m_last.isError();
    }
    QString value(const QString &expression)
    {
        return run(expression) ? m_last.toString() : QStringLiteral("<error>");
    }
    bool ok = false;

private:
    QJSEngine m_engine;
    QJSValue m_last;
};

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void images_data();
    void images();
    void pageReferencesExist();
    void scriptText();
    void toggles_data();
    void toggles();
    void deleteTakesSeparator_data();
    void deleteTakesSeparator();
};

void TestResources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    auto rows = [](const QStringList &aliases, int w, int h, const char *format) {
        for (const QString &alias : aliases)
            QTest::newRow(qPrintable(alias)) << ":/" + alias << QSize(w, h) << QByteArray(format);
    };
    rows({"read-12", "unread-12", "delete-12", "flag-on-12", "flag-off-12", "rss-arrow-right-12"},
        12, 12, "gif");
    rows({"feed-icon-24x24"}, 24, 24, "gif");
    rows({"topbg"}, 1, 44, "png");
    rows({"barbg"}, 1, 21, "png");
    rows({"line"}, 8, 1, "png");
    rows({"readfeed-12", "unreadfeed-12"}, 12, 12, "png");
    rows({"rss-16", "folder-16", "sync-16"}, 16, 16, "png");
    rows({"subscribe-24"}, 24, 24, "png");
    rows({"overview-32", "back-32", "forward-32", "fav-32", "stop-32"}, 32, 32, "png");
    rows({"img/rss/add_rss_feed-36.png"}, 36, 36, "png");
    rows({"rss-sidebar"}, 160, 420, "png");
    for (int i = 1; i <= 10; ++i)
        rows({QString("loading_%1").arg(i)}, 44, 44, "png");
}

void TestResources::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

// Every file the style sheet and the script name must be exported next to the
// pages, from the alias of that name (the arrow's with "rss-" before it), in the
// format its name promises.
void TestResources::pageReferencesExist()
{
    const QString css = QString::fromLatin1(TestHelpers::readFile(":/style-1"));
    QStringList referenced;
    for (const auto &m : QRegularExpression(R"(url\(\s*["']?\./([^"')\s]+))").globalMatch(css))
        referenced << m.captured(1);
    QCOMPARE(referenced.size(), 3);
    for (const auto &m : QRegularExpression(R"(["']\./([\w-]+\.gif)["'])")
                             .globalMatch(QString::fromUtf8(TestHelpers::readFile(":/rss"))))
        referenced << m.captured(1);
    QCOMPARE(referenced.size(), 3 + 4);
    for (const QString &name : std::as_const(referenced)) {
        const QString alias = name.section('.', 0, 0);
        QImageReader reader(":/" + (alias.startsWith("arrow") ? "rss-" + alias : alias));
        QCOMPARE(reader.format(), name.section('.', -1).toLatin1());
    }
}

void TestResources::scriptText()
{
    const QByteArray script = TestHelpers::readFile(":/rss");
    // Pages come in the feed's own encoding; a browser reads the script as
    // UTF-8 only with a byte order mark, else translated words would not match.
    QVERIFY(script.startsWith("\xEF\xBB\xBF"));
    // The viewer replaces the words blindly in the bytes, so each must occur
    // exactly once: anywhere else a translation would break the code.
    for (const QByteArray word : {"Mark", "Unmark", "Toggle Read", "Toggle Unread"})
        QVERIFY2(script.count(word) == 1 && script.contains('"' + word + '"'), word);
}

void TestResources::toggles_data()
{
    // States as "r" read or "u" unread, then "m" flagged or "-".
    QTest::addColumn<bool>("translated");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("to");
    for (bool translated : {false, true}) {
        auto row
            = [translated](const char *name, const char *from, const char *clicks, const char *to) {
                  QTest::addRow("%s: %s", translated ? "translated" : "english", name)
                      << translated << QString(from) << QString(clicks) << QString(to);
              };
        row("read an unread item", "u-", "read", "r-");
        row("unread a read item", "r-", "read", "u-");
        row("read twice", "u-", "read read", "u-");
        row("flagged survives reading", "um", "read", "rm");
        row("flagged survives unreading", "rm", "read", "um");
        row("flag", "r-", "mark", "rm");
        row("unflag an unread item", "um", "mark", "u-");
        row("unflag a read item", "rm", "mark", "r-");
        row("read while flagged, then unflag", "u-", "mark read mark", "r-");
    }
}

// Title, date and description classes and both images' alt and src must end
// as the page itself writes an item in that state; the neighbour is left alone.
void TestResources::toggles()
{
    QFETCH(bool, translated);
    QFETCH(QString, from);
    QFETCH(QString, clicks);
    QFETCH(QString, to);
    auto item = [](const QString &key, const QString &state) {
        return QString("item('%1', %2, %3)")
            .arg(key, state[0] == 'r' ? "true" : "false", state[1] == 'm' ? "true" : "false");
    };

    Page page(translated ? german : english);
    QVERIFY(page.ok);
    QVERIFY(page.run(
        "content.add(" + item("7:1", "u-") + ", separator('s'), " + item("7:2", from) + ");"));
    // Nothing is returned: a "javascript:" link that yields a string replaces the page.
    for (const QString &click : clicks.split(' '))
        QCOMPARE(page.value("typeof " + click + "('7:2')"), QStringLiteral("undefined"));
    QCOMPARE(page.value("state('7:2')"), page.value("state(" + item("x", to) + ")"));
    QCOMPARE(page.value("state('7:1')"), page.value("state(" + item("x", "u-") + ")"));
}

void TestResources::deleteTakesSeparator_data()
{
    TestHelpers::addRows(QStringLiteral("cases/deletions.txt"), {"keys", "remaining"});
}

void TestResources::deleteTakesSeparator()
{
    QFETCH(QString, keys);
    QFETCH(QString, remaining);

    Page page(english);
    QVERIFY(page.ok);
    QVERIFY(page.run("content.add(item('1:3', false, false), separator('s1'), "
                     "item('1:2', true, false), separator('s2'), item('1:1', false, true));"));
    for (const QString &key : keys.split(' '))
        QCOMPARE(
            page.value(QString("typeof toDelete('%1')").arg(key)), QStringLiteral("undefined"));
    QCOMPARE(page.value("ids()"), remaining);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
