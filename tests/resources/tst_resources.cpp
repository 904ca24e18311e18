// The compiled-in pictures, style sheet and page script.

#include <QFile>
#include <QImageReader>
#include <QJSEngine>
#include <QRegularExpression>
#include <QTest>

namespace {

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files exported next to the news pages, and where they come from.
const QList<QPair<QString, QString>> pageFiles{
    {"arrow-right-12.gif", ":/rss-arrow-right-12"},
    {"barbg.png", ":/barbg"},
    {"delete-12.gif", ":/delete-12"},
    {"feed-icon-24x24.gif", ":/feed-icon-24x24"},
    {"flag-off-12.gif", ":/flag-off-12"},
    {"flag-on-12.gif", ":/flag-on-12"},
    {"line.png", ":/line"},
    {"read-12.gif", ":/read-12"},
    {"topbg.png", ":/topbg"},
    {"unread-12.gif", ":/unread-12"},
    {"style.css", ":/style-1"},
};

struct Words
{
    QString toggleRead, toggleUnread, mark, unmark;
};
const Words english{"Toggle Read", "Toggle Unread", "Mark", "Unmark"};
const Words german{QString::fromUtf8("Als gelesen kennzeichnen"),
    QString::fromUtf8("Als ungelesen kennzeichnen"), QString::fromUtf8("Markieren"),
    QString::fromUtf8("Markierung lösen")};

// The script as the viewer writes it for a language: the four words replaced
// in this order, as bytes.
QString scriptFor(const Words &words)
{
    QByteArray script = resource(":/rss");
    script.replace("Mark", words.mark.toUtf8());
    script.replace("Unmark", words.unmark.toUtf8());
    script.replace("Toggle Read", words.toggleRead.toUtf8());
    script.replace("Toggle Unread", words.toggleUnread.toUtf8());
    return QString::fromUtf8(script);
}

QString jsString(const QString &text)
{
    QString quoted = text;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

class Page
{
public:
    explicit Page(const Words &words)
    {
        const QString table = QString("var W = {TR: %1, TU: %2, M: %3, UM: %4};")
                                  .arg(jsString(words.toggleRead), jsString(words.toggleUnread),
                                      jsString(words.mark), jsString(words.unmark));
        m_ok = run(table) && run(QString::fromUtf8(resource(":/test/fakedocument.js")))
            && run(scriptFor(words));
    }
    bool ok() const { return m_ok; }
    bool run(const QString &code)
    {
        const QJSValue result = m_engine.evaluate(code);
        if (result.isError()) {
            qWarning() << result.toString() << "line" << result.property("lineNumber").toInt();
            return false;
        }
        m_last = result;
        return true;
    }
    QString value(const QString &expression)
    {
        return run(expression) ? m_last.toString() : QStringLiteral("<error>");
    }

private:
    QJSEngine m_engine;
    QJSValue m_last;
    bool m_ok = false;
};

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void images_data();
    void images();
    void pageReferencesExist();
    void scriptWordsAppearOnce();
    void scriptIsReadAsUtf8();
    void toggles_data();
    void toggles();
    void toggleResultIsNotAString();
    void deleteTakesSeparator_data();
    void deleteTakesSeparator();
};

void TestResources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");

    const QSize s12(12, 12), s16(16, 16), s32(32, 32);
    QTest::newRow("feed icon") << ":/feed-icon-24x24" << QSize(24, 24) << QByteArray("gif");
    QTest::newRow("read") << ":/read-12" << s12 << QByteArray("gif");
    QTest::newRow("unread") << ":/unread-12" << s12 << QByteArray("gif");
    QTest::newRow("delete") << ":/delete-12" << s12 << QByteArray("gif");
    QTest::newRow("flag on") << ":/flag-on-12" << s12 << QByteArray("gif");
    QTest::newRow("flag off") << ":/flag-off-12" << s12 << QByteArray("gif");
    QTest::newRow("arrow") << ":/rss-arrow-right-12" << s12 << QByteArray("gif");
    QTest::newRow("title band") << ":/topbg" << QSize(1, 44) << QByteArray("png");
    QTest::newRow("page bar") << ":/barbg" << QSize(1, 21) << QByteArray("png");
    QTest::newRow("separator") << ":/line" << QSize(8, 1) << QByteArray("png");
    QTest::newRow("window icon") << ":/rss-16" << s16 << QByteArray("png");
    QTest::newRow("folder") << ":/folder-16" << s16 << QByteArray("png");
    QTest::newRow("feed with unread") << ":/readfeed-12" << s12 << QByteArray("png");
    QTest::newRow("feed all read") << ":/unreadfeed-12" << s12 << QByteArray("png");
    QTest::newRow("synchronize") << ":/sync-16" << s16 << QByteArray("png");
    QTest::newRow("subscribe") << ":/subscribe-24" << QSize(24, 24) << QByteArray("png");
    QTest::newRow("wizard badge") << ":/img/rss/add_rss_feed-36.png" << QSize(36, 36)
                                  << QByteArray("png");
    for (const char *name : {"overview", "back", "forward", "fav", "stop"})
        QTest::newRow(name) << QString(":/%1-32").arg(name) << s32 << QByteArray("png");
    for (int i = 1; i <= 10; ++i)
        QTest::addRow("loading %d", i)
            << QString(":/loading_%1").arg(i) << QSize(44, 44) << QByteArray("png");
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

// Every file the style sheet and the script name must be one the plug-in
// exports next to the pages, in the format its name promises.
void TestResources::pageReferencesExist()
{
    const QString css = QString::fromLatin1(resource(":/style-1"));
    const QString script = QString::fromUtf8(resource(":/rss"));
    QVERIFY(css.contains("#pagebar"));
    QVERIFY(script.contains("function toDelete"));

    QStringList referenced;
    for (const auto &m : QRegularExpression(R"(url\(\s*["']?\./([^"')\s]+))").globalMatch(css))
        referenced << m.captured(1);
    QCOMPARE(referenced.size(), 3);
    for (const auto &m : QRegularExpression(R"(["']\./([\w-]+\.gif)["'])").globalMatch(script))
        referenced << m.captured(1);
    QCOMPARE(referenced.size(), 3 + 4);

    for (const QString &name : std::as_const(referenced)) {
        auto entry = std::find_if(
            pageFiles.begin(), pageFiles.end(), [&](const auto &f) { return f.first == name; });
        QVERIFY2(entry != pageFiles.end(), qPrintable(name + " is not exported"));
        QImageReader reader(entry->second);
        QCOMPARE(reader.format(), name.section('.', -1).toLatin1());
    }
}

// The viewer replaces the words blindly in the bytes of the script, so each
// must occur exactly once: anywhere else a translation would break the code.
void TestResources::scriptWordsAppearOnce()
{
    const QByteArray script = resource(":/rss");
    for (const QByteArray word : {"Mark", "Unmark", "Toggle Read", "Toggle Unread"}) {
        QCOMPARE(script.count(word), 1);
        QCOMPARE(script.count('"' + word + '"'), 1);
    }
}

// Pages come in the feed's own encoding, and a browser reads a script in the
// encoding of the page unless the script starts with a byte order mark; without
// it, translated words with non-ASCII letters would never match the page's.
void TestResources::scriptIsReadAsUtf8()
{
    QVERIFY(resource(":/rss").startsWith("\xEF\xBB\xBF"));
}

void TestResources::toggles_data()
{
    QTest::addColumn<bool>("translated");
    QTest::addColumn<bool>("isRead");
    QTest::addColumn<bool>("isMarked");
    QTest::addColumn<QString>("clicks");
    // title|date|description|read alt|read image|flag alt|flag image, with the
    // words written as TR, TU, M, UM.
    QTest::addColumn<QString>("expected");

    const QString unreadPlain = "itemtitle|itemdate|itemdescription|TR|./unread-12.gif|M|"
                                "./flag-off-12.gif";
    const QString readPlain = "itemtitle_vstd|itemdate_vstd|itemdescription_vstd|TU|"
                              "./read-12.gif|M|./flag-off-12.gif";
    for (bool translated : {false, true}) {
        const char *lang = translated ? "translated" : "english";
        QTest::addRow("%s: read an unread item", lang)
            << translated << false << false << "read" << readPlain;
        QTest::addRow("%s: unread a read item", lang)
            << translated << true << false << "read" << unreadPlain;
        QTest::addRow("%s: read twice", lang)
            << translated << false << false << "read read" << unreadPlain;
        QTest::addRow("%s: flagged title survives reading", lang)
            << translated << false << true << "read"
            << "itemtitle_flagged|itemdate_vstd|itemdescription_vstd|TU|./read-12.gif|UM|"
               "./flag-on-12.gif";
        QTest::addRow("%s: flagged title survives unreading", lang)
            << translated << true << true << "read"
            << "itemtitle_flagged|itemdate|itemdescription|TR|./unread-12.gif|UM|"
               "./flag-on-12.gif";
        QTest::addRow("%s: flag", lang)
            << translated << true << false << "mark"
            << "itemtitle_flagged|itemdate_vstd|itemdescription_vstd|TU|./read-12.gif|UM|"
               "./flag-on-12.gif";
        QTest::addRow("%s: unflag an unread item", lang)
            << translated << false << true << "mark" << unreadPlain;
        QTest::addRow("%s: unflag a read item", lang)
            << translated << true << true << "mark" << readPlain;
        QTest::addRow("%s: read while flagged, then unflag", lang)
            << translated << false << false << "mark read mark" << readPlain;
    }
}

void TestResources::toggles()
{
    QFETCH(bool, translated);
    QFETCH(bool, isRead);
    QFETCH(bool, isMarked);
    QFETCH(QString, clicks);
    QFETCH(QString, expected);

    const Words &words = translated ? german : english;
    Page page(words);
    QVERIFY(page.ok());
    QVERIFY(page.run(QString("content.add(item('7:1', false, false), separator('s'), "
                             "item('7:2', %1, %2));")
                         .arg(isRead ? "true" : "false", isMarked ? "true" : "false")));
    for (const QString &click : clicks.split(' '))
        QVERIFY(page.run(click + "('7:2');"));

    QStringList want = expected.split('|');
    const QMap<QString, QString> symbols{{"TR", words.toggleRead}, {"TU", words.toggleUnread},
        {"M", words.mark}, {"UM", words.unmark}};
    for (QString &field : want)
        field = symbols.value(field, field);
    QCOMPARE(page.value("state('7:2')"), want.join('|'));
    // The neighbour is left alone.
    QCOMPARE(page.value("state('7:1')"),
        "itemtitle|itemdate|itemdescription|" + words.toggleRead + "|./unread-12.gif|" + words.mark
            + "|./flag-off-12.gif");
}

// A "javascript:" link that yields a string replaces the page with it.
void TestResources::toggleResultIsNotAString()
{
    Page page(english);
    QVERIFY(page.ok());
    QVERIFY(page.run("content.add(item('1:1', false, false));"));
    for (const char *call : {"read('1:1')", "mark('1:1')", "toDelete('1:1')", "read('9:9')"})
        QCOMPARE(page.value(QString("typeof %1").arg(call)), "undefined");
    // The only item of a page has no separator to take along.
    QCOMPARE(page.value("ids()"), QString());
}

void TestResources::deleteTakesSeparator_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("remaining");

    QTest::newRow("first item takes the following line") << "1:3"
                                                         << "1:2 s2 1:1";
    QTest::newRow("middle item takes the line before") << "1:2"
                                                       << "1:3 s2 1:1";
    QTest::newRow("last item takes the line before") << "1:1"
                                                     << "1:3 s1 1:2";
    QTest::newRow("unknown key changes nothing") << "1:9"
                                                 << "1:3 s1 1:2 s2 1:1";
}

void TestResources::deleteTakesSeparator()
{
    QFETCH(QString, key);
    QFETCH(QString, remaining);

    Page page(english);
    QVERIFY(page.ok());
    QVERIFY(page.run("content.add(item('1:3', false, false), separator('s1'), "
                     "item('1:2', true, false), separator('s2'), item('1:1', false, true));"));
    QVERIFY(page.run(QString("toDelete('%1');").arg(key)));
    QCOMPARE(page.value("ids()"), remaining);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
