#include "gifwriter.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace {

constexpr int MaxCode = 4095; // GIF codes are at most 12 bits wide

// Packs variable-width codes least significant bit first, as GIF wants them.
class BitPacker
{
public:
    void put(int code, int width)
    {
        m_buffer |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_buffer & 0xff));
        m_buffer = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

void putWord(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

int channel(QRgb c, int which)
{
    return which == 0 ? qRed(c) : which == 1 ? qGreen(c) : qBlue(c);
}

int distance(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b);
    const int dg = qGreen(a) - qGreen(b);
    const int db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

QRgb blend(QRgb pixel, QRgb matte)
{
    const int a = qAlpha(pixel);
    auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(pixel), qRed(matte)), mix(qGreen(pixel), qGreen(matte)),
        mix(qBlue(pixel), qBlue(matte)));
}

} // namespace

QByteArray GifWriter::compress(const QList<quint8> &indices, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitPacker out;
    QHash<quint32, int> table; // (prefix code << 8 | next index) -> code
    int width = minCodeSize + 1;
    int next = endCode + 1;

    out.put(clearCode, width);
    if (indices.isEmpty()) {
        out.put(endCode, width);
        return out.finish();
    }

    int prefix = indices.first();
    for (qsizetype i = 1; i < indices.size(); ++i) {
        const int k = indices.at(i);
        const quint32 key = (quint32(prefix) << 8) | quint32(k);
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            prefix = found.value();
            continue;
        }
        out.put(prefix, width);
        if (next <= MaxCode) {
            table.insert(key, next);
            // The decoder adds this entry one code later; it must then read
            // codes wide enough to hold it.
            if (next == (1 << width) && width < 12)
                ++width;
            ++next;
        } else {
            // Table full: start over rather than keep a stale dictionary.
            out.put(clearCode, width);
            table.clear();
            width = minCodeSize + 1;
            next = endCode + 1;
        }
        prefix = k;
    }
    out.put(prefix, width);
    out.put(endCode, width);
    return out.finish();
}

QList<QRgb> GifWriter::medianCut(
    const QList<QRgb> &colours, const QList<int> &counts, int maxColours)
{
    struct Box
    {
        QList<int> members; // indexes into colours
        int widestChannel = 0;
        int range = 0;
    };
    auto measure = [&colours](Box &box) {
        box.range = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (int m : box.members) {
                lo = std::min(lo, channel(colours.at(m), ch));
                hi = std::max(hi, channel(colours.at(m), ch));
            }
            if (hi - lo > box.range) {
                box.range = hi - lo;
                box.widestChannel = ch;
            }
        }
    };

    QList<Box> boxes(1);
    for (int i = 0; i < colours.size(); ++i)
        boxes[0].members.append(i);
    if (colours.isEmpty())
        return {};
    measure(boxes[0]);

    while (boxes.size() < maxColours) {
        int pick = -1;
        for (int b = 0; b < boxes.size(); ++b) {
            if (boxes[b].members.size() > 1 && (pick < 0 || boxes[b].range > boxes[pick].range))
                pick = b;
        }
        if (pick < 0)
            break;
        Box &box = boxes[pick];
        const int ch = box.widestChannel;
        std::sort(box.members.begin(), box.members.end(),
            [&](int a, int b) { return channel(colours.at(a), ch) < channel(colours.at(b), ch); });
        qint64 total = 0;
        for (int m : box.members)
            total += counts.at(m);
        // Split where half of the pixels lie on each side, keeping both sides non-empty.
        qint64 seen = 0;
        int cut = 1;
        for (int j = 0; j < box.members.size() - 1; ++j) {
            seen += counts.at(box.members.at(j));
            cut = j + 1;
            if (seen * 2 >= total)
                break;
        }
        Box upper;
        upper.members = box.members.mid(cut);
        box.members.resize(cut);
        measure(box);
        measure(upper);
        boxes.append(upper);
    }

    QList<QRgb> palette;
    for (const Box &box : boxes) {
        qint64 r = 0, g = 0, b = 0, n = 0;
        for (int m : box.members) {
            const qint64 w = counts.at(m);
            r += qRed(colours.at(m)) * w;
            g += qGreen(colours.at(m)) * w;
            b += qBlue(colours.at(m)) * w;
            n += w;
        }
        n = std::max<qint64>(n, 1);
        palette.append(qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)));
    }
    return palette;
}

QByteArray GifWriter::encode(const QImage &image, QRgb matte)
{
    if (image.isNull() || image.width() > 0xffff || image.height() > 0xffff)
        return {};
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();

    // Opaque colour of every pixel, or -1 for a transparent one.
    QList<qint64> pixels;
    pixels.reserve(qsizetype(w) * h);
    QHash<QRgb, int> histogram;
    bool transparent = false;
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) < 128) {
                transparent = true;
                pixels.append(-1);
            } else {
                const QRgb c = blend(line[x], matte);
                ++histogram[c];
                pixels.append(qint64(c));
            }
        }
    }

    QList<QRgb> colours = histogram.keys();
    std::sort(colours.begin(), colours.end());
    const int maxColours = transparent ? 255 : 256;
    QList<QRgb> palette;
    if (colours.size() <= maxColours) {
        palette = colours;
    } else {
        QList<int> counts;
        for (QRgb c : colours)
            counts.append(histogram.value(c));
        palette = medianCut(colours, counts, maxColours);
    }

    QHash<QRgb, quint8> lookup;
    for (QRgb c : colours) {
        int best = 0;
        for (int i = 1; i < palette.size(); ++i) {
            if (distance(c, palette.at(i)) < distance(c, palette.at(best)))
                best = i;
        }
        lookup.insert(c, quint8(best));
    }
    const int transparentIndex = int(palette.size());
    if (transparent)
        palette.append(matte);

    int bits = 1;
    while ((1 << bits) < palette.size())
        ++bits;
    while (palette.size() < (1 << bits))
        palette.append(qRgb(0, 0, 0));

    QList<quint8> indices;
    indices.reserve(pixels.size());
    for (qint64 p : pixels)
        indices.append(p < 0 ? quint8(transparentIndex) : lookup.value(QRgb(p)));

    QByteArray out("GIF89a");
    putWord(out, w);
    putWord(out, h);
    out.append(char(0x80 | ((bits - 1) << 4) | (bits - 1))); // global colour table
    out.append(char(transparent ? transparentIndex : 0)); // background
    out.append(char(0)); // square pixels
    for (QRgb c : palette) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    if (transparent) {
        const char control[] = {'\x21', '\xf9', '\x04', '\x01', '\x00', '\x00'};
        out.append(control, sizeof control);
        out.append(char(transparentIndex));
        out.append(char(0));
    }
    out.append(char(0x2c));
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, w);
    putWord(out, h);
    out.append(char(0)); // no local table, not interlaced

    const int minCodeSize = std::max(2, bits);
    out.append(char(minCodeSize));
    const QByteArray data = compress(indices, minCodeSize);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    out.append(char(0x3b));
    return out;
}

bool GifWriter::write(const QImage &image, const QString &fileName, QRgb matte)
{
    const QByteArray data = encode(image, matte);
    if (data.isEmpty())
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}
