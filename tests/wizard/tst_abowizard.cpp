#include "core/rssprotocol.h"
#include "host/pbasicdata.h"
#include "host/pwizard_standard2.h"
#include "host/request.h"
#include "recordingrouter.h"
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

// Marks every translated text, so that a text left untranslated shows.
class Marker : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *text, const char *, int) const override
    {
        return '[' + QString::fromUtf8(text) + ']';
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

    // The mission's mode, the page shown, and "enabled/visible" of Back, Next, Finish.
    QString state() const
    {
        const QList<QWidget *> pages{mission->page1(), mission->page2(), mission->page3()};
        QStringList states{QString::asprintf(
            "mode %d page %d", mission->mode(), int(pages.indexOf(wizard.currentPage())) + 1)};
        for (const QPushButton *b :
            {wizard.backButton(), wizard.nextButton(), wizard.finishButton()})
            states << QString(b->isEnabled() ? "on" : "off")
                    + (b->isHidden() ? "/hidden" : "/shown");
        return states.join(' ');
    }

    RecordingRouter router;
    PWizard_Standard2 wizard;
    AboWizzard *mission;
};

} // namespace

class tst_AboWizard : public QObject
{
    Q_OBJECT
private slots:
    void nextWithoutTouchingGoesToTheCatalogue();
    void addressPage();
    void languageChange();
};

void tst_AboWizard::nextWithoutTouchingGoesToTheCatalogue()
{
    WizardFixture f;
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);
    QSignalSpy cleared(f.mission, &AboWizzard::clearFeed);
    QCOMPARE(f.state(), QStringLiteral("mode 0 page 1 off/hidden on/shown off/hidden"));
    QCOMPARE(f.wizard.windowTitle(), QStringLiteral("Subscribe"));
    f.wizard.next();
    QCOMPARE(f.state(), QStringLiteral("mode 2 page 3 on/shown off/hidden on/shown"));
    // Showing the page loads the catalogue from the top, every time.
    QCOMPARE(f.router.messagesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
                 .size(),
        1);
    QCOMPARE(f.router.messagesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
                 .first()
                 .args()
                 .at(0)
                 .variant()
                 .toUInt(),
        0u);
    f.wizard.back();
    QCOMPARE(f.state(), QStringLiteral("mode 0 page 1 off/hidden on/shown off/hidden"));
    f.wizard.next();
    QCOMPARE(f.router.messagesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
                 .size(),
        2);

    // Finish subscribes the ticked feed with its catalogue id.
    Protocol top; // one category with one feed
    top.add(0, ProtocolArg::UInt16, 1);
    top.add(0, ProtocolArg::UInt32, 3);
    top.add(0, ProtocolArg::UInt32, 0);
    top.add(0, ProtocolArg::Bytes, QByteArray("News"));
    top.add(0, ProtocolArg::UInt16, 1);
    top.add(0, ProtocolArg::UInt32, 77);
    top.add(0, ProtocolArg::Bytes, QByteArray("Seventy-seven"));
    top.add(0, ProtocolArg::Bytes, QByteArray("http://77.example/rss"));
    PAboFeedTree *tree = f.mission->page3()->treeWidget();
    QSignalSpy counted(tree, &PAboFeedTree::selectedFeeds);
    QVERIFY(f.router.answer(
        f.router.indexesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
            .last(),
        top));
    QVERIFY(counted.wait());
    tree->topLevelItem(0)->child(0)->setCheckState(0, Qt::Checked);
    f.wizard.finish();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{"http://77.example/rss", "Seventy-seven", 77}));
    QCOMPARE(cleared.count(), 0);
    QCOMPARE(f.wizard.result(), int(QDialog::Accepted));
}

void tst_AboWizard::addressPage()
{
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/news/feed.xml",
        TestHttpResponse::ok("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel/></rss>"));
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);
    f.mission->page1()->findChild<QRadioButton *>("radioButton")->click();
    f.wizard.next();
    QCOMPARE(f.state(), QStringLiteral("mode 1 page 2 on/shown off/hidden off/shown"));
    PAboPage2 *page = f.mission->page2();
    QLineEdit *address = page->lineEdit();
    PAboFeedTable *table = page->feedTable();
    QCOMPARE(address->text(), QStringLiteral("http://"));
    // Only the prefix: no host to ask.
    QTest::keyClick(address, Qt::Key_Return);
    QVERIFY(table->isHidden());
    f.wizard.finish();

    // Typed without a scheme: plain HTTP.
    address->clear();
    const QString typed = QStringLiteral("127.0.0.1:%1/news/feed.xml").arg(server.port());
    QTest::keyClicks(address, typed);
    QTest::keyClick(address, Qt::Key_Return);
    QCOMPARE(address->text(), "http://" + typed);
    QVERIFY(!table->isHidden());
    QTRY_VERIFY(f.wizard.finishButton()->isEnabled());
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("News found"));
    QCOMPARE(f.state(), QStringLiteral("mode 1 page 2 on/shown off/hidden on/shown"));

    // Back and Next start the page afresh.
    f.wizard.back();
    f.wizard.next();
    QCOMPARE(f.state(), QStringLiteral("mode 1 page 2 on/shown off/hidden off/shown"));
    QCOMPARE(address->text(), QStringLiteral("http://"));
    QVERIFY(table->isHidden());
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(!page->feedsFound());

    // Editing the address withdraws what was found.
    address->setText("http://" + typed);
    page->showTable();
    QTRY_VERIFY(f.wizard.finishButton()->isEnabled());
    QTest::keyClick(address, Qt::Key_Backspace);
    QVERIFY(table->isHidden());
    QVERIFY(!f.wizard.finishButton()->isEnabled());
    QVERIFY(!page->feedsFound());

    QTest::keyClick(address, 'l');
    QTest::keyClick(address, Qt::Key_Return);
    QTRY_VERIFY(f.wizard.finishButton()->isEnabled());
    table->item(0, 0)->setCheckState(Qt::Checked);
    f.wizard.finish();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{"http://" + typed, QString(), -1}));
    QCOMPARE(f.wizard.result(), int(QDialog::Accepted));
}

void tst_AboWizard::languageChange()
{
    WizardFixture f;
    Marker marker;
    QCoreApplication::installTranslator(&marker);
    PBasicData::instance().setCurrentLanguage(PLanguage("de", "Deutsch"));

    QTRY_COMPARE(f.wizard.windowTitle(), QStringLiteral("[Subscribe]"));
    QTRY_COMPARE(f.mission->page1()->findChild<QRadioButton *>("radioButton_2")->text(),
        QStringLiteral("[I want to import recommended news.]"));
    // Pages that are not shown follow as well.
    QTRY_COMPARE(
        f.mission->page2()->findChild<QPushButton *>("goButton")->text(), QStringLiteral("[Go]"));
    QVERIFY(f.mission->page3()->findChild<QLabel *>("label")->text().contains(
        ">[Subscribe to a news]</span>"));

    QCoreApplication::removeTranslator(&marker);
    PBasicData::instance().setCurrentLanguage(PLanguage());
    QTRY_COMPARE(f.wizard.windowTitle(), QStringLiteral("Subscribe"));
}

QTEST_MAIN(tst_AboWizard)
#include "tst_abowizard.moc"
