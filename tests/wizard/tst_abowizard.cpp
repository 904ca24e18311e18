#include "core/rssprotocol.h"
#include "host/pbasicdata.h"
#include "host/psearchfield.h"
#include "host/pwizard_standard2.h"
#include "host/request.h"
#include "recordingrouter.h"
#include "wizard/abowizzard.h"
#include "wizard/pabofeedtable.h"
#include "wizard/pabofeedtree.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include "testhelpers.h"
#include "testhttpserver.h"
#include "treefixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

namespace {

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
    void returnKeyKeepsThePage();
    void finishWithNothingTicked();
    void catalogueUnavailable();
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
    // Selected, so that typing or pasting replaces it.
    QCOMPARE(address->selectedText(), QStringLiteral("http://"));
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
    // The one feed found comes ticked.
    QCOMPARE(table->item(0, 0)->checkState(), Qt::Checked);
    f.wizard.finish();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{"http://" + typed, QString(), -1}));
    QCOMPARE(f.wizard.result(), int(QDialog::Accepted));
}

void tst_AboWizard::returnKeyKeepsThePage()
{
    // Shown and active, as a user has it: Return goes through the dialog too.
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/page",
        TestHttpResponse::ok("<link rel=alternate type=application/rss+xml href=/a title=A>"
                             "<link rel=alternate type=application/atom+xml href=/b title=B>"));
    f.wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.wizard));
    f.wizard.activateWindow();
    f.mission->page1()->findChild<QRadioButton *>("radioButton")->click();
    f.wizard.next();
    PAboPage2 *page = f.mission->page2();
    QTRY_VERIFY(page->lineEdit()->hasFocus());
    for (const QPushButton *button :
        {f.wizard.backButton(), f.wizard.nextButton(), f.wizard.finishButton()})
        QVERIFY(!button->isDefault());

    // Typing replaces the selected prefix; Return searches and stays.
    QTest::keyClicks(QApplication::focusWidget(), server.url("/page").toString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.wizard.currentPage(), page);
    QCOMPARE(page->lineEdit()->text(), server.url("/page").toString());
    QTRY_VERIFY(page->feedsFound());
    QCOMPARE(page->feedTable()->rowCount(), 2);
    QCOMPARE(f.wizard.currentPage(), page);
    QCOMPARE(server.requestCount("HEAD", "/page"), 1);

    // Return in the catalogue search filters and stays too.
    f.wizard.back();
    f.mission->page1()->findChild<QRadioButton *>("radioButton_2")->click();
    f.wizard.next();
    PAboPage3 *catalogue = f.mission->page3();
    catalogue->searchField()->setFocus();
    QTest::keyClicks(catalogue->searchField(), "news");
    QTest::keyClick(catalogue->searchField(), Qt::Key_Return);
    QCOMPARE(f.wizard.currentPage(), catalogue);
    QVERIFY(f.wizard.isVisible());
}

void tst_AboWizard::finishWithNothingTicked()
{
    WizardFixture f;
    TestHttpServer server;
    server.setResponse("/page",
        TestHttpResponse::ok("<link rel=alternate type=application/rss+xml href=/a title=A>"
                             "<link rel=alternate type=application/atom+xml href=/b title=B>"));
    QSignalSpy saved(f.mission, &AboWizzard::saveFeed);
    QSignalSpy closed(&f.wizard, &QDialog::accepted);
    f.mission->page1()->findChild<QRadioButton *>("radioButton")->click();
    f.wizard.next();
    PAboPage2 *page = f.mission->page2();
    page->lineEdit()->setText(server.url("/page").toString());
    page->showTable();
    QTRY_VERIFY(f.wizard.finishButton()->isEnabled());

    // Two feeds, none ticked: Finish says so and stays.
    f.wizard.finish();
    QCOMPARE(closed.count(), 0);
    QLabel *hint = page->findChild<QLabel *>("hintLabel");
    QVERIFY(!hint->isHidden());
    QCOMPARE(hint->text(), QStringLiteral("Tick the feeds you want to subscribe to."));

    page->feedTable()->item(1, 0)->setCheckState(Qt::Checked);
    f.wizard.finish();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{server.url("/b").toString(), "B", -1}));

    // The catalogue with nothing ticked says so as well.
    WizardFixture g;
    QSignalSpy closedToo(&g.wizard, &QDialog::accepted);
    g.wizard.next();
    g.wizard.finish();
    QCOMPARE(closedToo.count(), 0);
    QCOMPARE(
        g.mission->page3()->notice(), QStringLiteral("Tick the feeds you want to subscribe to."));
}

void tst_AboWizard::catalogueUnavailable()
{
    WizardFixture f;
    f.wizard.next();
    PAboPage3 *page = f.mission->page3();
    QVERIFY(f.wizard.finishButton()->isEnabled());
    QVERIFY(f.router.fail(f.router.indexesOf(41, 3).last(), 15));
    QTRY_VERIFY(!page->catalogueAvailable());
    QVERIFY(!f.wizard.finishButton()->isEnabled());
    QVERIFY(!page->selectAllBox()->isEnabled());
    QVERIFY(page->notice().contains("cannot be loaded"));

    // Coming back asks again, and an answer makes everything available.
    f.wizard.back();
    f.wizard.next();
    QVERIFY(page->catalogueAvailable());
    QVERIFY(f.wizard.finishButton()->isEnabled());
    QVERIFY(page->selectAllBox()->isEnabled());
    QVERIFY(page->notice().isEmpty());
}

void tst_AboWizard::languageChange()
{
    WizardFixture f;
    TestHelpers::WordTranslator marker;
    marker.marked = true;
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
    // The host's own texts follow too.
    QCOMPARE(f.wizard.backButton()->text(), QStringLiteral("[< &Back]"));
    QCOMPARE(f.wizard.cancelButton()->text(), QStringLiteral("[Cancel]"));
    QCOMPARE(f.mission->page3()->searchField()->placeholderText(), QStringLiteral("[Search]"));

    QCoreApplication::removeTranslator(&marker);
    PBasicData::instance().setCurrentLanguage(PLanguage());
    QTRY_COMPARE(f.wizard.windowTitle(), QStringLiteral("Subscribe"));
}

QTEST_MAIN(tst_AboWizard)
#include "tst_abowizard.moc"
