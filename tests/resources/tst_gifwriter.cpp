// The GIF encoder that draws the page images: what it writes must decode to
// the picture it was given.

#include "tools/drawresources/gifwriter.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>

namespace {

template <typename Pixel> QImage picture(int w, int h, Pixel pixel)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, pixel(x, y));
    return image;
}

// Random pixels from a fixed set of colours: poor runs, so the code table
// fills up and the encoder has to start it over many times.
QImage noise(int w, int h, int colours, quint32 seed)
{
    QRandomGenerator random(seed);
    return picture(w, h, [&](int, int) {
        const int c = int(random.bounded(colours));
        return qRgb(c * 37 % 256, c * 91 % 256, c);
    });
}

} // namespace

class TestGifWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void nullImageGivesNothing();
};

void TestGifWriter::roundTrip_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QRgb>("matte");
    QTest::addColumn<int>("tolerance"); // largest error of a colour channel

    const QRgb white = qRgb(255, 255, 255);
    QTest::newRow("one opaque pixel")
        << picture(1, 1, [](int, int) { return qRgb(200, 10, 10); }) << white << 0;
    QTest::newRow("all transparent") << picture(20, 7, [](int, int) { return 0u; }) << white << 0;
    QTest::newRow("two colours in long runs") << picture(500, 300, [](int x, int y) {
        return ((x / 50 + y / 50) % 2) ? qRgb(0, 0, 0) : qRgb(255, 255, 0);
    }) << white << 0;
    QTest::newRow("16 colours of noise") << noise(400, 300, 16, 42) << white << 0;
    QTest::newRow("256 colours of noise") << noise(256, 256, 256, 7) << white << 0;
    QTest::newRow("odd width, 3 colours") << noise(13, 5, 3, 1) << white << 0;
    const QImage full = picture(16, 16, [](int x, int y) {
        const int i = y * 16 + x;
        return qRgb(i, 255 - i, i * 7 % 256);
    });
    QTest::newRow("exactly 256 colours") << full << white << 0;
    QImage fullWithHole = full;
    fullWithHole.setPixel(0, 0, qRgba(0, 0, 0, 0));
    QTest::newRow("255 colours and transparency") << fullWithHole << white << 0;
    const int alphas[] = {0, 127, 128, 200, 255};
    QTest::newRow("alpha edges over a dark matte")
        << picture(5, 1, [&](int x, int) { return qRgba(255, 0, 0, alphas[x]); })
        << qRgb(0x5e, 0x71, 0x90) << 0;
    // Too many colours: reduced, but close.
    QTest::newRow("gradient") << picture(128, 128, [](int x, int y) {
        return qRgb(x * 2, y * 2, (x + y) % 256);
    }) << white << 40;
}

void TestGifWriter::roundTrip()
{
    QFETCH(QImage, image);
    QFETCH(QRgb, matte);
    QFETCH(int, tolerance);

    QByteArray data = GifWriter::encode(image, matte);
    QVERIFY(data.startsWith("GIF89a"));
    QVERIFY(data.endsWith(';'));
    QBuffer buffer(&data);
    const QImage back = QImageReader(&buffer, "gif").read().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(back.size(), image.size());
    int worst = 0;
    qint64 total = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            // Below half opacity transparent, else blended over the matte.
            const QRgb pixel = image.pixel(x, y), got = back.pixel(x, y);
            const int a = qAlpha(pixel);
            QCOMPARE(qAlpha(got), a < 128 ? 0 : 255);
            if (a < 128)
                continue;
            auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
            for (int d : {mix(qRed(pixel), qRed(matte)) - qRed(got),
                     mix(qGreen(pixel), qGreen(matte)) - qGreen(got),
                     mix(qBlue(pixel), qBlue(matte)) - qBlue(got)}) {
                worst = std::max(worst, std::abs(d));
                total += std::abs(d);
            }
        }
    }
    QVERIFY2(worst <= tolerance, qPrintable(QString::number(worst)));
    // And not far off on average.
    QVERIFY2(total <= image.width() * image.height() * 3 * tolerance / 5,
        qPrintable(QString::number(total)));
}

void TestGifWriter::nullImageGivesNothing()
{
    QVERIFY(GifWriter::encode(QImage()).isEmpty());
    QVERIFY(!GifWriter::write(QImage(), QDir::temp().filePath("pellix-never-written.gif")));
}

QTEST_MAIN(TestGifWriter)
#include "tst_gifwriter.moc"
