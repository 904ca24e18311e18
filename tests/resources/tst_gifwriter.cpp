// The GIF encoder that draws the page images: what it writes must decode to
// the picture it was given.

#include "tools/drawresources/gifwriter.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>

namespace {

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Random pixels from a fixed set of colours: poor runs, so the code table
// fills up and the encoder has to start it over many times.
QImage noise(int w, int h, int colours, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image = blank(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int c = int(random.bounded(colours));
            image.setPixel(x, y, qRgb(c * 37 % 256, c * 91 % 256, c));
        }
    }
    return image;
}

QImage decode(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "gif");
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

// What a pixel must look like after the round trip.
QRgb expected(QRgb pixel, QRgb matte)
{
    const int a = qAlpha(pixel);
    if (a < 128)
        return 0;
    auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(pixel), qRed(matte)), mix(qGreen(pixel), qGreen(matte)),
        mix(qBlue(pixel), qBlue(matte)));
}

} // namespace

class TestGifWriter : public QObject
{
    Q_OBJECT

private slots:
    void exactRoundTrip_data();
    void exactRoundTrip();
    void manyColoursAreReduced();
    void nullImageGivesNothing();
};

void TestGifWriter::exactRoundTrip_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QRgb>("matte");

    const QRgb white = qRgb(255, 255, 255);
    QImage one = blank(1, 1);
    one.setPixel(0, 0, qRgb(200, 10, 10));
    QTest::newRow("one opaque pixel") << one << white;
    QTest::newRow("one transparent pixel") << blank(1, 1) << white;
    QTest::newRow("all transparent") << blank(20, 7) << white;

    QImage blocks = blank(500, 300);
    for (int y = 0; y < blocks.height(); ++y)
        for (int x = 0; x < blocks.width(); ++x)
            blocks.setPixel(x, y, ((x / 50 + y / 50) % 2) ? qRgb(0, 0, 0) : qRgb(255, 255, 0));
    QTest::newRow("two colours in long runs") << blocks << white;

    QTest::newRow("16 colours of noise") << noise(400, 300, 16, 42) << white;
    QTest::newRow("256 colours of noise") << noise(256, 256, 256, 7) << white;
    QTest::newRow("odd width, 3 colours") << noise(13, 5, 3, 1) << white;

    QImage full = blank(16, 16);
    for (int i = 0; i < 256; ++i)
        full.setPixel(i % 16, i / 16, qRgb(i, 255 - i, i * 7 % 256));
    QTest::newRow("exactly 256 colours") << full << white;
    QImage fullWithHole = full;
    fullWithHole.setPixel(0, 0, qRgba(0, 0, 0, 0));
    QTest::newRow("255 colours and transparency") << fullWithHole << white;

    QImage edges = blank(5, 1);
    const int alphas[] = {0, 127, 128, 200, 255};
    for (int x = 0; x < 5; ++x)
        edges.setPixel(x, 0, qRgba(255, 0, 0, alphas[x]));
    QTest::newRow("alpha edges over a dark matte") << edges << qRgb(0x5e, 0x71, 0x90);
}

void TestGifWriter::exactRoundTrip()
{
    QFETCH(QImage, image);
    QFETCH(QRgb, matte);

    const QByteArray data = GifWriter::encode(image, matte);
    QVERIFY(data.startsWith("GIF89a"));
    QVERIFY(data.endsWith(';'));
    const QImage back = decode(data);
    QCOMPARE(back.size(), image.size());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = expected(image.pixel(x, y), matte);
            const QRgb got = back.pixel(x, y);
            if (qAlpha(want) == 0 ? qAlpha(got) != 0 : got != want)
                QFAIL(qPrintable(QString("pixel %1,%2: %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(got, 8, 16, QChar('0'))
                                     .arg(want, 8, 16, QChar('0'))));
        }
    }
}

void TestGifWriter::manyColoursAreReduced()
{
    QImage gradient = blank(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            gradient.setPixel(x, y, qRgb(x * 2, y * 2, (x + y) % 256));

    const QImage back = decode(GifWriter::encode(gradient));
    QCOMPARE(back.size(), gradient.size());
    int worst = 0;
    qint64 total = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const QRgb a = gradient.pixel(x, y), b = back.pixel(x, y);
            QCOMPARE(qAlpha(b), 255);
            for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
                worst = std::max(worst, std::abs(d));
                total += std::abs(d);
            }
        }
    }
    QVERIFY2(worst <= 40, qPrintable(QString::number(worst)));
    QVERIFY2(total / (128 * 128 * 3) <= 8, qPrintable(QString::number(total)));
}

void TestGifWriter::nullImageGivesNothing()
{
    QVERIFY(GifWriter::encode(QImage()).isEmpty());
    QVERIFY(!GifWriter::write(QImage(), QDir::temp().filePath("pellix-never-written.gif")));
}

QTEST_MAIN(TestGifWriter)
#include "tst_gifwriter.moc"
