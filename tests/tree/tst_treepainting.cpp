#include "tree/pdrawfeed.h"
#include "tree/pdrawsearch.h"

#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <functional>

namespace {

using Ink = std::function<bool(QRgb)>;
const Ink green = [](QRgb c) { return qGreen(c) > qRed(c) + 60 && qGreen(c) > qBlue(c) + 60; };
const Ink red = [](QRgb c) { return qRed(c) > qGreen(c) + 100 && qRed(c) > qBlue(c) + 100; };
const Ink dark = [](QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60; };
const Ink grey = [](QRgb c) { return QColor(c) == QColor(Qt::gray); };

// Bounding box of the pixels inside area that the predicate accepts; null when none.
QRect inkBox(const QImage &image, const QRect &area, const Ink &is)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (is(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// A found item (a row with a grandparent) painted on a 300 x 93 card.
QImage paintCard(const QStringList &card, bool selected = false)
{
    QStandardItemModel model;
    auto *feed = new QStandardItem(QStringLiteral("Feed"));
    auto *found = new QStandardItem;
    found->setData(card, Qt::UserRole);
    feed->appendRow(found);
    model.appendRow(new QStandardItem(QStringLiteral("Folder")));
    model.item(0)->appendRow(feed);

    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 300, 93);
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    option.palette.setColor(QPalette::Light, QColor(200, 255, 200));
    option.palette.setColor(QPalette::Highlight, Qt::blue);
    QImage image(300, 93, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    PDrawSearch().paint(&painter, option, found->index());
    return image;
}

} // namespace

// The delegates are rendered into images: what matters is where which colour lands.
class tst_TreePainting : public QObject
{
    Q_OBJECT
private slots:
    void feedTreeFolderCaptions();
    void searchCards_data();
    void searchCards();
    void searchCardTitleIsLargerAndBold();
};

void tst_TreePainting::feedTreeFolderCaptions()
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("Caption")));
    model.item(0)->appendRow(new QStandardItem(QStringLiteral("Caption")));
    QTreeView view;
    QPalette palette = view.palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Highlight, Qt::blue);
    palette.setColor(QPalette::HighlightedText, Qt::red);
    view.setPalette(palette);
    view.setItemDelegate(new PDrawFeed(&view));
    view.setModel(&model);
    view.expandAll();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QModelIndex folder = model.index(0, 0);
    const QModelIndex feed = model.index(0, 0, folder);
    const auto ink = [&view](const QModelIndex &index, const Ink &is) {
        QImage image(view.viewport()->size(), QImage::Format_RGB32);
        view.viewport()->render(&image);
        return inkBox(image, view.visualRect(index), is);
    };
    const QRect folderGreen = ink(folder, green);
    const QRect feedDark = ink(feed, dark);
    QVERIFY(!folderGreen.isNull() && !feedDark.isNull());
    QVERIFY(ink(folder, dark).isNull() && ink(feed, green).isNull());
    // Same text, but the folder caption is bold.
    QVERIFY(folderGreen.width() > feedDark.width());

    // Selected, a feed takes the selection colours and a folder keeps its green caption.
    view.setCurrentIndex(feed);
    QVERIFY(!ink(feed, red).isNull());
    view.setCurrentIndex(folder);
    QVERIFY(!ink(folder, green).isNull() && ink(folder, red).isNull());
}

void tst_TreePainting::searchCards_data()
{
    QTest::addColumn<QStringList>("card");
    QTest::addColumn<bool>("selected");
    const QString longText = QStringLiteral(
        "A description long enough to wrap over several lines of the card, and then some "
        "more words so that the text would run far below the bottom of the row if it were "
        "not kept inside its own area of the card at all, which it must be.");
    QTest::newRow("title only") << QStringList{"Title", "", "Mon, 1 Jan"} << false;
    QTest::newRow("description only") << QStringList{"", "Description", "Mon, 1 Jan"} << false;
    QTest::newRow("both") << QStringList{"Title", longText, "Mon, 1 Jan"} << false;
    QTest::newRow("both, selected") << QStringList{"Title", longText, "Mon, 1 Jan"} << true;
    QTest::newRow("short list") << QStringList{"Title"} << false;
}

void tst_TreePainting::searchCards()
{
    QFETCH(QStringList, card);
    QFETCH(bool, selected);
    const QImage image = paintCard(card, selected);

    const QColor background = selected ? QColor(Qt::blue) : QColor(200, 255, 200);
    for (const QPoint &corner : {QPoint(0, 0), QPoint(299, 0), QPoint(0, 92), QPoint(299, 92)})
        QCOMPARE(QColor(image.pixel(corner)), background);

    // Text in the painter's own pen stays above bottom - 19; the grey date sits on
    // bottom - 4 below it.
    const QRect text = inkBox(image, image.rect(), dark);
    QVERIFY(!text.isNull());
    QVERIFY2(text.bottom() < 93 - 19, qPrintable(QString::number(text.bottom())));
    const QRect date = inkBox(image, image.rect(), grey);
    QCOMPARE(date.isNull(), card.size() != 3);
    QVERIFY(date.isNull() || (date.top() > 92 - 4 - 20 && date.bottom() <= 92));
    if (card.value(1).size() > 20) {
        // One title line down to its baseline at top + 15, the description from top + 19.
        QVERIFY(!inkBox(image, QRect(0, 0, 300, 16), dark).isNull());
        QVERIFY(inkBox(image, QRect(0, 16, 300, 3), dark).isNull());
        QVERIFY(!inkBox(image, QRect(0, 19, 300, 30), dark).isNull());
    }
}

void tst_TreePainting::searchCardTitleIsLargerAndBold()
{
    const QRect title = inkBox(paintCard({"Word", "", "d"}), QRect(0, 0, 300, 60), dark);
    const QRect plain = inkBox(paintCard({"", "Word", "d"}), QRect(0, 0, 300, 60), dark);
    QVERIFY(title.width() > plain.width() && title.height() > plain.height());
}

QTEST_MAIN(tst_TreePainting)
#include "tst_treepainting.moc"
