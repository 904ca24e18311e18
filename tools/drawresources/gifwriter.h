#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

// Writes single-frame GIF89a files. Qt reads GIF but cannot write it, and the
// news pages want real GIF images, so this is a small encoder of our own.
//
// GIF knows only fully opaque or fully transparent pixels: pixels with
// alpha >= 128 are blended over the matte colour (the background the image is
// shown on), the others become the transparent index. More than 256 colours
// are reduced by median cut.
class GifWriter
{
public:
    static QByteArray encode(const QImage &image, QRgb matte = qRgb(255, 255, 255));
    static bool write(
        const QImage &image, const QString &fileName, QRgb matte = qRgb(255, 255, 255));

    // Exposed for tests: the LZW code stream of the indices, with the given
    // minimum code size (2..8), packed into bytes but not yet split into blocks.
    static QByteArray compress(const QList<quint8> &indices, int minCodeSize);

    // Reduces the colours to at most maxColours palette entries.
    static QList<QRgb> medianCut(
        const QList<QRgb> &colours, const QList<int> &counts, int maxColours);
};
