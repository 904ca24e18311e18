#include "host/pbasicdata.h"
#include "host/pwizard_standard2.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "wizard/abowizzard.h"
#include "wizard/pabofeedtable.h"
#include "wizard/pabofeedtree.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include "testhttpserver.h"
#include "treefixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

namespace {

class GermanTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        static const QHash<QString, QString> words{
            {QStringLiteral("Subscribe"), QStringLiteral("Abonnieren")},
            {QStringLiteral("Subscribe to a news"), QStringLiteral("News abonnieren")},
            {QStringLiteral("I want to import recommended news."),
                QStringLiteral("Ich möchte empfohlene News importieren.")},
            {QStringLiteral("Go"), QStringLiteral("Los")},
            {QStringLiteral("Select all"), QStringLiteral("Alle auswählen")},
        };
        return words.value(QString::fromUtf8(source));
    }
};

// The wizard as the plug-in runs it, not shown: buttons are pressed through the
// dialog's slots, which honour the mission's answers.
class WizardFixture : public TreeFixture
{
public:
    WizardFixture() : mission(new AboWizzard(&db, &wizard))
    {
        wizard.Set_Mission(mission);
        wizard.setFixedSize(580, 480);
    }

    // "enabled/visible" of Back, Next, Finish.
    QString buttons() const
    {
        auto state = [](const QPushButton *b) {
            return QString::fromLatin1(b->isEnabled() ? "on" : "off")
                + (b->isHidden() ? QLatin1String("/hidden") : QLatin1String("/shown"));
        };
        return state(wizard.backButton()) + QLatin1Char(' ') + state(wizard.nextButton())
            + QLatin1Char(' ') + state(wizard.finishButton());
    }

    void chooseAddress()
    {
        mission->page1()->findChild<QRadioButton *>(QStringLiteral("radioButton"))->click();
        wizard.next();
    }

    RecordingRouter router;
    PWizard_Standard2 wizard;
    AboWizzard *mission;
};

bool discoveryEnded(const PAboFeedTable *table)
{
    if (table->rowCount() == 0 || !table->item(0, 0))
        return false;
    const QString text = table->item(0, 0)->text();
    return text != QLatin1String("Searching...") && text != QLatin1String("Parse page");
}

const QByteArray Feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel/></rss>";

} // namespace

class tst_AboWizard : public QObject
{
    Q_OBJECT
private slots:
    void nextWithoutTouchingGoesToTheCatalogue();
    void subscribeByAddress();
    void editingTheAddressWithdrawsFinish();
    void backAndNextEmptyTheAddressPage();
    void invalidAddressFindsNothing();
    void catalogueFinishCarriesIds();
    void languageChange();
};

void tst_AboWizard::nextWithoutTouchingGoesToTheCatalogue()
{
    WizardFixture f;
    QCOMPARE(f.wizard.currentPage(), f.mission->page1());
    QCOMPARE(f.buttons(), QStringLiteral("off/hidden on/shown off/hidden"));
    QCOMPARE(f.wizard.windowTitle(), QStringLiteral("Subscribe"));
    f.wizard.next();
    QCOMPARE(f.mission->mode(), int(AboWizzard::CataloguePage));
    QCOMPARE(f.wizard.currentPage(), f.mission->page3());
    QCOMPARE(f.buttons(), QStringLiteral("on/shown off/hidden on/shown"));
    // Showing the page loads the catalogue from the top.
    QCOMPARE(f.router.commandList().filter(QStringLiteral("41,3")).size(), 1);
    QCOMPARE(f.router.messagesOf(41, 3).first().args().at(0).variant().toUInt(), 0u);

    f.wizard.back();
    QCOMPARE(f.mission->mode(), int(AboWizzard::ChoicePage));
    QCOMPARE(f.wizard.currentPage(), f.mission->page1());
    QCOMPARE(f.buttons(), QStringLiteral("off/hidden on/shown off/hidden"));
    // Back and Next again loads it anew.
    f.wizard.next();
    QCOMPARE(f.router.messagesOf(41, 3).size(), 2);
}

void tst_AboWizard::subscribeByAddress()
{
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/news/feed.xml", TestHttpResponse::ok(Feed));
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);

    f.chooseAddress();
    QCOMPARE(f.mission->mode(), int(AboWizzard::AddressPage));
    QCOMPARE(f.wizard.currentPage(), f.mission->page2());
    QCOMPARE(f.buttons(), QStringLiteral("on/shown off/hidden off/shown"));

    QLineEdit *address = f.mission->page2()->lineEdit();
    QCOMPARE(address->text(), QStringLiteral("http://"));
    address->clear();
    const QString typed = QStringLiteral("127.0.0.1:%1/news/feed.xml").arg(server.port());
    QTest::keyClicks(address, typed);
    QTest::keyClick(address, Qt::Key_Return);
    QCOMPARE(address->text(), QLatin1String("http://") + typed);

    PAboFeedTable *table = f.mission->page2()->feedTable();
    QVERIFY(!table->isHidden());
    QTRY_VERIFY(discoveryEnded(table));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("News found"));
    QCOMPARE(f.buttons(), QStringLiteral("on/shown off/hidden on/shown"));

    table->item(0, 0)->setCheckState(Qt::Checked);
    f.wizard.finish();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{QLatin1String("http://") + typed, QString(), -1}));
    QCOMPARE(f.wizard.result(), int(QDialog::Accepted));
}

void tst_AboWizard::editingTheAddressWithdrawsFinish()
{
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/feed.xml", TestHttpResponse::ok(Feed));
    f.chooseAddress();
    QLineEdit *address = f.mission->page2()->lineEdit();
    address->setText(server.url("/feed.xml").toString());
    f.mission->page2()->showTable();
    QTRY_VERIFY(f.wizard.finishButton()->isEnabled());

    QTest::keyClick(address, Qt::Key_Backspace);
    QVERIFY(f.mission->page2()->feedTable()->isHidden());
    QVERIFY(!f.wizard.finishButton()->isEnabled());
    QVERIFY(!f.mission->page2()->feedsFound());
}

void tst_AboWizard::backAndNextEmptyTheAddressPage()
{
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/feed.xml", TestHttpResponse::ok(Feed));
    f.chooseAddress();
    f.mission->page2()->lineEdit()->setText(server.url("/feed.xml").toString());
    f.mission->page2()->showTable();
    QTRY_VERIFY(f.mission->page2()->feedsFound());

    f.wizard.back();
    f.wizard.next();
    QCOMPARE(f.wizard.currentPage(), f.mission->page2());
    QCOMPARE(f.mission->page2()->lineEdit()->text(), QStringLiteral("http://"));
    QVERIFY(f.mission->page2()->feedTable()->isHidden());
    QCOMPARE(f.mission->page2()->feedTable()->rowCount(), 0);
    QVERIFY(!f.mission->page2()->feedsFound());
    QVERIFY(!f.wizard.finishButton()->isEnabled());
}

void tst_AboWizard::invalidAddressFindsNothing()
{
    WizardFixture f;
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);
    f.chooseAddress();
    // Only the prefix: no host to ask.
    QTest::keyClick(f.mission->page2()->lineEdit(), Qt::Key_Return);
    QVERIFY(f.mission->page2()->feedTable()->isHidden());
    QVERIFY(!f.wizard.finishButton()->isEnabled());
    f.wizard.finish();
    QCOMPARE(saved.count(), 0);
}

void tst_AboWizard::catalogueFinishCarriesIds()
{
    WizardFixture f;
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);
    QSignalSpy cleared(f.mission, &AboWizzard::clearFeed);
    f.wizard.next();
    PAboFeedTree *tree = f.mission->page3()->treeWidget();
    {
        Protocol top;
        top.add(0, ProtocolArg::UInt16, 1);
        for (const QVariant &v : {QVariant(3), QVariant(0)})
            top.add(0, ProtocolArg::UInt32, v);
        top.add(0, ProtocolArg::Bytes, QByteArray("News"));
        top.add(0, ProtocolArg::UInt16, 1);
        top.add(0, ProtocolArg::UInt32, 77);
        top.add(0, ProtocolArg::Bytes, QByteArray("Seventy-seven"));
        top.add(0, ProtocolArg::Bytes, QByteArray("http://77.example/rss"));
        QSignalSpy counted(tree, &PAboFeedTree::selectedFeeds);
        QVERIFY(f.router.answer(f.router.indexOf(41, 3), top));
        QVERIFY(counted.wait());
    }
    tree->topLevelItem(0)->child(0)->setCheckState(0, Qt::Checked);
    f.wizard.finish();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0),
        (QVariantList{
            QStringLiteral("http://77.example/rss"), QStringLiteral("Seventy-seven"), 77}));
    QCOMPARE(cleared.count(), 0);
    QCOMPARE(f.wizard.result(), int(QDialog::Accepted));
}

void tst_AboWizard::languageChange()
{
    WizardFixture f;
    GermanTranslator german;
    QCoreApplication::installTranslator(&german);
    PBasicData::instance().setCurrentLanguage(
        PLanguage(QStringLiteral("de"), QStringLiteral("Deutsch")));

    QTRY_COMPARE(f.wizard.windowTitle(), QStringLiteral("Abonnieren"));
    auto *recommended
        = f.mission->page1()->findChild<QRadioButton *>(QStringLiteral("radioButton_2"));
    QTRY_COMPARE(recommended->text(), QStringLiteral("Ich möchte empfohlene News importieren."));
    // Pages that are not shown follow as well.
    QTRY_COMPARE(f.mission->page2()->findChild<QPushButton *>(QStringLiteral("goButton"))->text(),
        QStringLiteral("Los"));
    QVERIFY(f.mission->page3()
                ->findChild<QLabel *>(QStringLiteral("label"))
                ->text()
                .contains(QStringLiteral(">News abonnieren</span>")));

    QCoreApplication::removeTranslator(&german);
    PBasicData::instance().setCurrentLanguage(PLanguage());
    QTRY_COMPARE(f.wizard.windowTitle(), QStringLiteral("Subscribe"));
}

QTEST_MAIN(tst_AboWizard)
#include "tst_abowizard.moc"
