#include "core/feeddatabase.h"
#include "core/rssprotocol.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pbasicdata.h"
#include "host/pdir.h"
#include "host/protocol.h"
#include "host/wrappluginhelper.h"
#include "plugin/prssfeedplugin.h"
#include "recordingrouter.h"
#include "testhelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

static QString readFile(const QString &file)
{
    return QString::fromUtf8(TestHelpers::readFile(file));
}

class tst_ClientGerman : public QObject
{
    Q_OBJECT
private slots:
    void pagesAndScriptAgree();
};

void tst_ClientGerman::pagesAndScriptAgree()
{
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("pellix_de"), QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&translator);
    PBasicData::instance().setCurrentLanguage(
        PLanguage(QStringLiteral("de"), QStringLiteral("Deutsch")));

    RecordingRouter router;
    router.setAutoFail(true); // no server: the plug-in works on its local state
    CPxBuddy_Administrator::Instance().reset();
    PRSSFeedPlugin plugin;
    plugin.initialize();
    QSignalSpy synchronised(&plugin, &PRSSFeedPlugin::synchronised);
    CPxBuddy_Administrator::Instance().signIn(3);
    QVERIFY(synchronised.wait(10000));

    const QString file = FeedDatabase::fileFor(3);
    QCOMPARE(TestHelpers::sqliteRows(file, QStringLiteral("select title from folder where id = 1")),
        QStringList{QStringLiteral("Meine Feeds")});
    const QString item = QStringLiteral(
        "insert into items (channelid, itemid, title, link, description, pubdate, isread, "
        "toclear, mark) values(1, %1, '%2', 'http://a/%1', 'd', 'Montag', %3, 0, 0)");
    QVERIFY(TestHelpers::sqliteExec(file,
        {QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, folderid, "
                        "inclient) values(1, 'http://127.0.0.1:1/feed', 'Feed', 0, -1, 1, 1)"),
            item.arg(1).arg(QStringLiteral("Gelesen")).arg(1),
            item.arg(2).arg(QStringLiteral("Neu")).arg(0)}));

    Protocol open(ClientMessage::NewsModule, ClientMessage::OpenViewer);
    open.add(0, ProtocolArg::Int32, -1);
    open.add(0, ProtocolArg::Int32, 1);
    WrapPluginHelper::Instance().deliverCommand(
        ClientMessage::NewsModule, ClientMessage::OpenViewer, &open);

    const QDir viewer(PDir::applicationDataPath(false));
    QTRY_VERIFY_WITH_TIMEOUT(viewer.exists(QStringLiteral("3_channel1_1.html")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(viewer.exists(QStringLiteral("rss.js")), 20000);
    const QString page = readFile(viewer.filePath(QStringLiteral("3_channel1_1.html")));
    const QString script = readFile(viewer.filePath(QStringLiteral("rss.js")));

    // The script recognises an item's state by the words the page wrote.
    const QStringList words = {QStringLiteral("Als gelesen markieren"),
        QStringLiteral("Als ungelesen markieren"), QStringLiteral("Merken")};
    for (const QString &word : words) {
        QVERIFY2(page.contains(QStringLiteral("alt=\"%1\"").arg(word)), qPrintable(word));
        QVERIFY2(script.contains(word), qPrintable(word));
    }
    QVERIFY(script.contains(QStringLiteral("Nicht mehr merken")));
    for (const char *english : {"Toggle Read", "Toggle Unread", "Unmark"})
        QVERIFY2(!script.contains(QLatin1String(english)), english);
    QVERIFY(page.contains(QStringLiteral("Seite")));

    plugin.shutdown();
    QCoreApplication::removeTranslator(&translator);
    PBasicData::instance().setCurrentLanguage(PLanguage());
}

QTEST_MAIN(tst_ClientGerman)
#include "tst_clientgerman.moc"
