#include "dialogs/pcleanpage1.h"
#include "testhelpers.h"
#include "ui_pcleanpage1.h"

#include "treefixture.h"

#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

// Feeds 1 (80 items, 1 to 3 cleared), 2 (30), 4 and 5 (5 each, same title) have every other
// item read; feed 3 was never fetched and is listed under its source.
class CleanFixture : public TreeFixture
{
public:
    CleanFixture()
    {
        addFeed(1, 1, "Alpha");
        addFeed(2, 1, "Beta &amp; Co");
        addFeed(3, 1, QVariant(QMetaType(QMetaType::QString)));
        addFeed(4, 1, "Same");
        addFeed(5, 1, "Same");
        exec("begin");
        for (const auto &[feed, count] : {std::pair(1, 80), {2, 30}, {4, 5}, {5, 5}})
            for (int i = 1; i <= count; ++i)
                addItem({feed, i, "t", "d", {}, {}, 0, 0, i % 2});
        exec("update items set toclear = 1 where channelid = 1 and itemid <= 3");
        exec("commit");
    }
    // Visible, read visible and lowest visible item of feeds 1 and 2; visible of 4 and 5.
    QList<int> state()
    {
        QList<int> s;
        const QString sql = "select %1 from items where toclear = 0 and channelid = %2";
        for (int feed : {1, 2})
            for (const char *what : {"count(*)", "sum(isread)", "min(itemid)"})
                s << value(sql.arg(what).arg(feed)).toInt();
        for (int feed : {4, 5})
            s << value(sql.arg("count(*)").arg(feed)).toInt();
        return s;
    }
};

using Translator = TestHelpers::WordTranslator;

enum Mode { All, Read, Recent };

class tst_CleanWizard : public QObject
{
    Q_OBJECT
private slots:
    void cleans_data();
    void cleans();
    void resultPageAndLanguageChange();
};

void tst_CleanWizard::cleans_data()
{
    QTest::addColumn<int>("feed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QList<int>>("state");
    QTest::addColumn<int>("deleted");
    const auto row = [](const char *name, int feed, const char *shown, Mode mode, int keep,
                         const QList<int> &state, int deleted) {
        QTest::newRow(name) << feed << QString(shown) << int(mode) << keep << state << deleted;
    };
    const char *all = "All channels";
    // Before: feed 1 has 77 visible items (38 read, lowest id 4), feed 2 30 (15 read, lowest 1).
    row("keep 50 of everything", 0, all, Recent, 50, {50, 25, 31, 30, 15, 1, 5, 5}, 27);
    row("keep none of everything", 0, all, Recent, 0, {0, 0, 0, 0, 0, 0, 0, 0}, 117);
    row("keep 50 of one feed", 1, "Alpha", Recent, 50, {50, 25, 31, 30, 15, 1, 5, 5}, 27);
    row("keep 50 of a short feed", 2, "Beta & Co", Recent, 50, {77, 38, 4, 30, 15, 1, 5, 5}, 0);
    row("read items of everything", 0, all, Read, 0, {39, 0, 4, 15, 0, 2, 2, 2}, 59);
    row("unread items of one feed", 1, "Alpha", Read, 0, {38, 38, 5, 30, 15, 1, 5, 5}, 39);
    row("all of one feed", 2, "Beta & Co", All, 0, {77, 38, 4, 0, 0, 0, 5, 5}, 30);
    row("all of everything", 0, all, All, 0, {0, 0, 0, 0, 0, 0, 0, 0}, 117);
    row("unknown id: everything", 99, all, All, 0, {0, 0, 0, 0, 0, 0, 0, 0}, 117);
    row("untitled feed shows its source", 3, "http://example.org/feed3.xml", All, 0,
        {77, 38, 4, 30, 15, 1, 5, 5}, 0);
    row("same title cleans the lower id", 5, "Same", All, 0, {77, 38, 4, 30, 15, 1, 0, 5}, 5);
}

void tst_CleanWizard::cleans()
{
    QFETCH(int, feed);
    QFETCH(QString, shown);
    QFETCH(int, mode);
    QFETCH(int, keep);
    QFETCH(QList<int>, state);
    QFETCH(int, deleted);
    CleanFixture f;
    PCleanPage1 page(&f.db, feed);
    Ui::pcleanpage1Class *ui = page.form();
    QCOMPARE(ui->feedBox->currentText(), shown);
    QList<QRadioButton *>{ui->allButton, ui->readButton, ui->radioButton}.at(mode)->setChecked(
        true);
    ui->spinBox->setValue(keep);
    QSignalSpy cleaned(&page, &PCleanPage1::cleanChannel);
    QTest::mouseClick(ui->deleteButton, Qt::LeftButton);

    QCOMPARE(f.state(), state);
    QVERIFY(page.resultLabel());
    const bool everything = shown == QLatin1String("All channels");
    QCOMPARE(page.resultLabel()->text(),
        QStringLiteral("%1 items were deleted.\n").arg(deleted)
            + (everything ? QStringLiteral("In all channels") : "In the channel: " + shown));
    // Every feed it may have touched is reported, then the favourites.
    QList<int> reported;
    for (const QVariantList &args : std::as_const(cleaned))
        reported << (args.at(1).toBool() ? args.at(0).toInt() : -1);
    // Feeds 4 and 5 share a title: the lower id is cleaned.
    QCOMPARE(reported,
        (everything ? QList<int>{1, 2, 3, 4, 5, 0} : QList<int>{feed == 5 ? 4 : feed, 0}));
}

void tst_CleanWizard::resultPageAndLanguageChange()
{
    CleanFixture f;
    PCleanPage1 page(&f.db, 1);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    Ui::pcleanpage1Class *ui = page.form();
    // The map's order: "All channels", then the feeds by id.
    QCOMPARE(ui->feedBox->count(), 6);
    QCOMPARE(ui->feedBox->itemText(1), QStringLiteral("Alpha"));
    // Only "keep the newest" takes a number.
    ui->radioButton->setChecked(true);
    QVERIFY(ui->spinBox->isEnabled());
    ui->allButton->setChecked(true);
    QVERIFY(!ui->spinBox->isEnabled());
    QTest::mouseClick(ui->deleteButton, Qt::LeftButton);

    // Only the pictures, the header, the result and the button remain.
    for (QWidget *w : page.findChildren<QWidget *>()) {
        const bool stays = w == ui->cancelButton || w == page.resultLabel()
            || (w->objectName().startsWith(QLatin1String("label_")) && w != ui->label_2);
        QVERIFY2(w->isVisible() == stays, qPrintable(w->objectName()));
    }
    QCOMPARE(page.resultLabel()->geometry(), QRect(200, 100, 192, 28));
    QCOMPARE(ui->cancelButton->text(), QStringLiteral("Finish"));
    QCOMPARE(page.size(), QSize(580, 480));

    Translator german;
    german.words = {{"All channels", "Alle Kanäle"}, {"Clean wizard", "Aufräum-Assistent"},
        {"Finish", "Fertig"}, {"Clean news", "News aufräumen"}, {"Cancel", "Abbrechen"}};
    QCoreApplication::installTranslator(&german);
    QCoreApplication::processEvents();
    QCOMPARE(page.windowTitle(), QStringLiteral("Aufräum-Assistent"));
    QCOMPARE(ui->feedBox->itemText(0), QStringLiteral("Alle Kanäle"));
    // The result page keeps its button although the form was translated anew.
    QCOMPARE(ui->cancelButton->text(), QStringLiteral("Fertig"));
    QVERIFY(ui->label_6->text().contains("News aufräumen</span></p></body></html>"));

    QSignalSpy accepted(&page, &QDialog::accepted);
    QTest::mouseClick(ui->cancelButton, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
}

QTEST_MAIN(tst_CleanWizard)
#include "tst_cleanwizard.moc"
