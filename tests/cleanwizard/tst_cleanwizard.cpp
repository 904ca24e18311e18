#include "dialogs/pcleanpage1.h"
#include "ui_pcleanpage1.h"

#include "treefixture.h"

#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

// Feeds 1 (80 items) and 2 (30 items) have every other item read; feed 3 was
// never fetched and is listed under its source; feeds 4 and 5 share a title.
// Feed 1's items 1 to 3 were cleared before.
class CleanFixture : public TreeFixture
{
public:
    CleanFixture()
    {
        addFeed(1, 1, QStringLiteral("Alpha"));
        addFeed(2, 1, QStringLiteral("Beta"));
        addFeed(3, 1, QVariant(QMetaType(QMetaType::QString)));
        addFeed(4, 1, QStringLiteral("Same"));
        addFeed(5, 1, QStringLiteral("Same"));
        fill(1, 80);
        fill(2, 30);
        fill(4, 5);
        fill(5, 5);
        exec(QStringLiteral("update items set toclear = 1 where channelid = 1 and itemid <= 3"));
    }
    void fill(int feed, int count)
    {
        exec(QStringLiteral("begin"));
        for (int i = 1; i <= count; ++i)
            addItem(
                {feed, i, QStringLiteral("t%1").arg(i), QStringLiteral("d"), {}, {}, 0, 0, i % 2});
        exec(QStringLiteral("commit"));
    }
    int visible(int feed, const QString &extra = QString())
    {
        return value(QStringLiteral("select count(*) from items where toclear = 0 and "
                                    "channelid = %1 %2")
                         .arg(feed)
                         .arg(extra))
            .toInt();
    }
    int lowestVisible(int feed)
    {
        return value(QStringLiteral("select min(itemid) from items where toclear = 0 and "
                                    "channelid = %1")
                         .arg(feed))
            .toInt();
    }
};

class GermanTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        static const QHash<QString, QString> words{
            {QStringLiteral("All channels"), QStringLiteral("Alle Kanäle")},
            {QStringLiteral("Clean wizard"), QStringLiteral("Aufräum-Assistent")},
            {QStringLiteral("Finish"), QStringLiteral("Fertig")},
            {QStringLiteral("Clean news"), QStringLiteral("News aufräumen")},
            {QStringLiteral("Cancel"), QStringLiteral("Abbrechen")},
        };
        Q_UNUSED(context);
        return words.value(QString::fromUtf8(source));
    }
};

class tst_CleanWizard : public QObject
{
    Q_OBJECT
private slots:
    void preselectsTheFeed_data();
    void preselectsTheFeed();
    void clears_data();
    void clears();
    void sameTitleCleansTheLowerId();
    void resultPageAndLanguageChange();
};

void tst_CleanWizard::preselectsTheFeed_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("all") << 0 << "All channels";
    QTest::newRow("titled") << 2 << "Beta";
    QTest::newRow("untitled shows source") << 3 << "http://example.org/feed3.xml";
    QTest::newRow("unknown id") << 99 << "All channels";
}

void tst_CleanWizard::preselectsTheFeed()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    CleanFixture f;
    PCleanPage1 page(&f.db, id);
    QCOMPARE(page.form()->feedBox->currentText(), text);
    // The map's order: "All channels", then the feeds by id.
    QCOMPARE(page.form()->feedBox->itemText(0), QStringLiteral("All channels"));
    QCOMPARE(page.form()->feedBox->itemText(1), QStringLiteral("Alpha"));
    QCOMPARE(page.form()->feedBox->count(), 6);
    QVERIFY(!page.form()->spinBox->isEnabled());
    page.form()->radioButton->setChecked(true);
    QVERIFY(page.form()->spinBox->isEnabled());
    page.form()->readButton->setChecked(true);
    QVERIFY(!page.form()->spinBox->isEnabled());
}

enum Mode { All, Read, Recent };

void tst_CleanWizard::clears_data()
{
    QTest::addColumn<int>("feed");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QList<int>>("visible1"); // visible, read visible, lowest visible id
    QTest::addColumn<QList<int>>("visible2");
    QTest::addColumn<int>("deleted");

    // Feed 1 starts with 77 visible (38 read, lowest id 4), feed 2 with 30 (15 read, lowest 1).
    QTest::newRow("keep 50 of everything")
        << 0 << int(Recent) << 50 << QList<int>{50, 25, 31} << QList<int>{30, 15, 1} << 27;
    QTest::newRow("keep none of everything")
        << 0 << int(Recent) << 0 << QList<int>{0, 0, 0} << QList<int>{0, 0, 0} << 77 + 30 + 10;
    QTest::newRow("keep 50 of one feed")
        << 1 << int(Recent) << 50 << QList<int>{50, 25, 31} << QList<int>{30, 15, 1} << 27;
    QTest::newRow("keep 50 of a short feed")
        << 2 << int(Recent) << 50 << QList<int>{77, 38, 4} << QList<int>{30, 15, 1} << 0;
    QTest::newRow("read items of everything")
        << 0 << int(Read) << 50 << QList<int>{39, 0, 4} << QList<int>{15, 0, 2} << 38 + 15 + 6;
    QTest::newRow("unread items of one feed")
        << 1 << int(Read) << 50 << QList<int>{38, 38, 5} << QList<int>{30, 15, 1} << 39;
    QTest::newRow("all of one feed")
        << 2 << int(All) << 50 << QList<int>{77, 38, 4} << QList<int>{0, 0, 0} << 30;
    QTest::newRow("all of everything")
        << 0 << int(All) << 50 << QList<int>{0, 0, 0} << QList<int>{0, 0, 0} << 77 + 30 + 10;
}

void tst_CleanWizard::clears()
{
    QFETCH(int, feed);
    QFETCH(int, mode);
    QFETCH(int, keep);
    QFETCH(QList<int>, visible1);
    QFETCH(QList<int>, visible2);
    QFETCH(int, deleted);

    CleanFixture f;
    PCleanPage1 page(&f.db, feed);
    Ui::pcleanpage1Class *ui = page.form();
    (mode == All           ? ui->allButton
            : mode == Read ? ui->readButton
                           : ui->radioButton)
        ->setChecked(true);
    ui->spinBox->setValue(keep);
    QSignalSpy cleaned(&page, &PCleanPage1::cleanChannel);
    QTest::mouseClick(ui->deleteButton, Qt::LeftButton);

    // Every feed it may have touched is reported, then the favourites.
    QList<int> reported;
    for (const QVariantList &args : std::as_const(cleaned))
        reported << (args.at(1).toBool() ? args.at(0).toInt() : -1);
    QCOMPARE(reported, (feed == 0 ? QList<int>{1, 2, 3, 4, 5, 0} : QList<int>{feed, 0}));

    const QList<int> got1{
        f.visible(1), f.visible(1, QStringLiteral("and isread = 1")), f.lowestVisible(1)};
    const QList<int> got2{
        f.visible(2), f.visible(2, QStringLiteral("and isread = 1")), f.lowestVisible(2)};
    QCOMPARE(got1, visible1);
    QCOMPARE(got2, visible2);
    QVERIFY(page.resultLabel());
    QVERIFY(page.resultLabel()->text().startsWith(
        QStringLiteral("%1 items were deleted.\n").arg(deleted)));
    QVERIFY(page.resultLabel()->text().endsWith(feed == 0
            ? QStringLiteral("\nIn all channels")
            : QStringLiteral("\nIn the channel: ") + ui->feedBox->currentText()));
}

void tst_CleanWizard::sameTitleCleansTheLowerId()
{
    CleanFixture f;
    PCleanPage1 page(&f.db, 5);
    QCOMPARE(page.form()->feedBox->currentText(), QStringLiteral("Same"));
    QTest::mouseClick(page.form()->deleteButton, Qt::LeftButton);
    QCOMPARE(f.visible(4), 0);
    QCOMPARE(f.visible(5), 5);
}

void tst_CleanWizard::resultPageAndLanguageChange()
{
    CleanFixture f;
    PCleanPage1 page(&f.db, 1);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    Ui::pcleanpage1Class *ui = page.form();
    QTest::mouseClick(ui->deleteButton, Qt::LeftButton);

    // Only the pictures, the header, the result and the button remain.
    for (QWidget *w : page.findChildren<QWidget *>()) {
        const bool stays = w == ui->cancelButton || w == page.resultLabel()
            || (w->objectName().startsWith(QLatin1String("label_")) && w != ui->label_2);
        QVERIFY2(w->isVisible() == stays, qPrintable(w->objectName()));
    }
    QCOMPARE(page.resultLabel()->geometry(), QRect(200, 100, 192, 28));
    QCOMPARE(page.resultLabel()->text(),
        QStringLiteral("77 items were deleted.\nIn the channel: Alpha"));
    QCOMPARE(ui->cancelButton->text(), QStringLiteral("Finish"));
    QCOMPARE(page.size(), QSize(580, 480));

    GermanTranslator german;
    QCoreApplication::installTranslator(&german);
    QCoreApplication::processEvents();
    QCoreApplication::removeTranslator(&german);
    QCOMPARE(page.windowTitle(), QStringLiteral("Aufräum-Assistent"));
    QCOMPARE(ui->feedBox->itemText(0), QStringLiteral("Alle Kanäle"));
    // The result page keeps its button although the form was translated anew.
    QCOMPARE(ui->cancelButton->text(), QStringLiteral("Fertig"));
    QVERIFY(
        ui->label_6->text().contains(QStringLiteral("News aufräumen</span></p></body></html>")));

    QSignalSpy accepted(&page, &QDialog::accepted);
    QTest::mouseClick(ui->cancelButton, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
}

QTEST_MAIN(tst_CleanWizard)
#include "tst_cleanwizard.moc"
