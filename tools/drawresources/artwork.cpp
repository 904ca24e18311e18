#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

// One palette for everything, so the icons look like a family. The page
// header blues are those of the style sheet (#5e7190, #33415D).
struct Shade
{
    QColor light, dark, edge;
};
const Shade Orange{QColor(0xf9, 0xa6, 0x3c), QColor(0xe4, 0x67, 0x1a), QColor(0xbd, 0x52, 0x10)};
const Shade Grey{QColor(0xd2, 0xd2, 0xd2), QColor(0xa4, 0xa4, 0xa4), QColor(0x86, 0x86, 0x86)};
const Shade Blue{QColor(0x74, 0xa2, 0xdc), QColor(0x2f, 0x62, 0xa6), QColor(0x23, 0x4a, 0x80)};
const Shade Red{QColor(0xf0, 0x4a, 0x24), QColor(0xdd, 0x22, 0x00), QColor(0xa3, 0x18, 0x00)};
const Shade Green{QColor(0x6c, 0xc0, 0x4a), QColor(0x36, 0x93, 0x2a), QColor(0x24, 0x6e, 0x1c)};
const Shade Folder{QColor(0xfb, 0xd8, 0x6a), QColor(0xec, 0xb2, 0x35), QColor(0xb3, 0x82, 0x16)};
const QColor HeaderBlue(0x5e, 0x71, 0x90);
const QColor BarBlue(0x33, 0x41, 0x5d);

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
}

QLinearGradient vertical(const QRectF &r, const Shade &s)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, s.light);
    g.setColorAt(1, s.dark);
    return g;
}

// The feed sign: a rounded square with a dot and broadcast arcs in its lower
// left corner.
void feedSign(QPainter &p, const QRectF &r, const Shade &s)
{
    const qreal size = r.width();
    p.save();
    p.setPen(QPen(s.edge, size < 20 ? 1.0 : size / 20.0));
    p.setBrush(vertical(r, s));
    p.drawRoundedRect(r, size * 0.2, size * 0.2);

    const QPointF origin(r.left() + size * 0.27, r.bottom() - size * 0.27);
    const bool tiny = size < 14;
    const qreal stroke = size * (tiny ? 0.14 : 0.12);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal dot = size * (tiny ? 0.11 : 0.095);
    p.drawEllipse(origin, dot, dot);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, stroke, Qt::SolidLine, Qt::FlatCap));
    const QList<qreal> radii = tiny ? QList<qreal>{0.36, 0.6} : QList<qreal>{0.33, 0.54};
    for (qreal f : radii) {
        const qreal radius = size * f;
        p.drawArc(
            QRectF(origin.x() - radius, origin.y() - radius, 2 * radius, 2 * radius), 0, 90 * 16);
    }
    p.restore();
}

// A round green badge with a plus, for "subscribe".
void plusBadge(QPainter &p, const QPointF &centre, qreal radius)
{
    p.save();
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, Green.light);
    g.setColorAt(1, Green.dark);
    p.setPen(QPen(Qt::white, radius / 5));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, radius / 3, Qt::SolidLine, Qt::FlatCap));
    const qreal arm = radius * 0.55;
    p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
    p.restore();
}

QImage feedIcon(int size, const Shade &s, qreal inset = 0.5)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    feedSign(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), s);
    return image;
}

QImage subscribeIcon(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    const qreal sign = size * 0.8;
    feedSign(p, QRectF(0.5, 0.5, sign, sign), Orange);
    const qreal radius = size * 0.26;
    plusBadge(p, QPointF(size - radius - 0.5, size - radius - 0.5), radius);
    return image;
}

QImage envelope(bool open)
{
    QImage image = canvas(12, 12);
    QPainter p(&image);
    smooth(p);
    const Shade &s = open ? Grey : Blue;
    const QColor paper = open ? QColor(0xf6, 0xf6, 0xf6) : QColor(0xe6, 0xef, 0xfb);
    p.setPen(QPen(s.dark, 1.0));
    if (open) {
        // Flap folded up behind the body, the side folds meeting in the middle.
        p.setBrush(QColor(0xe2, 0xe2, 0xe2));
        p.drawPolygon(QPolygonF({QPointF(0.5, 5.5), QPointF(6.0, 1.0), QPointF(11.5, 5.5)}));
        p.setBrush(paper);
        p.drawRect(QRectF(0.5, 5.5, 11.0, 6.0));
        p.drawPolyline(QPolygonF({QPointF(0.5, 11.5), QPointF(6.0, 7.5), QPointF(11.5, 11.5)}));
    } else {
        p.setBrush(paper);
        p.drawRect(QRectF(0.5, 2.5, 11.0, 7.0));
        p.drawPolyline(QPolygonF({QPointF(0.5, 2.5), QPointF(6.0, 6.5), QPointF(11.5, 2.5)}));
    }
    return image;
}

QImage cross(int size, qreal width)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    const qreal a = size * 0.2, b = size - a;
    p.setPen(QPen(Red.edge, width + 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(a, a), QPointF(b, b));
    p.drawLine(QPointF(b, a), QPointF(a, b));
    p.setPen(QPen(Red.dark, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(a, a), QPointF(b, b));
    p.drawLine(QPointF(b, a), QPointF(a, b));
    return image;
}

// A flag on a pole; coloured when set, grey when not.
QImage flag(int size, bool on)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    const qreal u = size / 12.0;
    const Shade &s = on ? Red : Grey;
    QPainterPath cloth;
    cloth.moveTo(3.0 * u, 1.2 * u);
    cloth.cubicTo(5.0 * u, 0.2 * u, 7.5 * u, 2.4 * u, 11.0 * u, 1.2 * u);
    cloth.lineTo(11.0 * u, 6.8 * u);
    cloth.cubicTo(7.5 * u, 8.0 * u, 5.0 * u, 5.8 * u, 3.0 * u, 6.8 * u);
    cloth.closeSubpath();
    p.setPen(QPen(s.edge, std::max(1.0, u * 0.8)));
    p.setBrush(vertical(QRectF(0, 0, size, 7 * u), s));
    p.drawPath(cloth);
    p.setPen(QPen(on ? QColor(0x55, 0x55, 0x55) : Grey.edge, std::max(1.2, u * 1.2), Qt::SolidLine,
        Qt::RoundCap));
    p.drawLine(QPointF(2.6 * u, 0.8 * u), QPointF(2.6 * u, 11.3 * u));
    return image;
}

QImage arrowRight()
{
    QImage image = canvas(12, 12);
    QPainter p(&image);
    smooth(p);
    QPolygonF arrow({QPointF(1.0, 4.2), QPointF(5.8, 4.2), QPointF(5.8, 1.2), QPointF(11.0, 6.0),
        QPointF(5.8, 10.8), QPointF(5.8, 7.8), QPointF(1.0, 7.8)});
    p.setPen(QPen(Blue.edge, 1.0));
    p.setBrush(vertical(QRectF(0, 1, 12, 10), Blue));
    p.drawPolygon(arrow);
    return image;
}

QImage folder()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    smooth(p);
    p.setPen(QPen(Folder.edge, 1.0));
    p.setBrush(Folder.dark);
    QPolygonF back({QPointF(1.5, 13.5), QPointF(1.5, 3.0), QPointF(6.0, 3.0), QPointF(7.5, 4.5),
        QPointF(14.5, 4.5), QPointF(14.5, 13.5)});
    p.drawPolygon(back);
    p.setBrush(vertical(QRectF(0, 6, 16, 8), Folder));
    QPolygonF front(
        {QPointF(1.5, 13.5), QPointF(3.0, 6.5), QPointF(15.5, 6.5), QPointF(14.5, 13.5)});
    p.drawPolygon(front);
    return image;
}

// An arrowhead at the end of an arc, pointing along the turn.
void arcHead(QPainter &p, const QPointF &centre, qreal radius, qreal degrees, qreal size)
{
    const qreal t = qDegreesToRadians(degrees);
    const QPointF at = centre + QPointF(std::cos(t), -std::sin(t)) * radius;
    const QPointF along(-std::sin(t), -std::cos(t)); // counter-clockwise on screen
    const QPointF out(std::cos(t), -std::sin(t));
    p.drawPolygon(QPolygonF({at + along * size, at + out * size * 0.9, at - out * size * 0.9}));
}

QImage syncIcon()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    smooth(p);
    const QPointF c(8, 8);
    const qreal r = 5.2;
    p.setPen(QPen(Green.dark, 2.0, Qt::SolidLine, Qt::FlatCap));
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.drawArc(box, 20 * 16, 130 * 16);
    p.drawArc(box, 200 * 16, 130 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Green.dark);
    arcHead(p, c, r, 150, 3.0);
    arcHead(p, c, r, 330, 3.0);
    return image;
}

// Round tool button face.
void disc(QPainter &p, const Shade &s)
{
    QRadialGradient g(QPointF(12, 10), 18);
    g.setColorAt(0, s.light);
    g.setColorAt(1, s.dark);
    p.setPen(QPen(s.edge, 1.2));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
}

QImage navigation(bool forward)
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);
    disc(p, Blue);
    QPolygonF arrow({QPointF(8.0, 16.0), QPointF(15.5, 8.5), QPointF(15.5, 13.0),
        QPointF(23.5, 13.0), QPointF(23.5, 19.0), QPointF(15.5, 19.0), QPointF(15.5, 23.5)});
    if (forward) {
        for (QPointF &pt : arrow)
            pt.setX(32.0 - pt.x());
    }
    p.setPen(QPen(Blue.edge, 0.8));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    return image;
}

QImage stopIcon()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);
    disc(p, Red);
    p.setPen(QPen(Qt::white, 4.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
    return image;
}

// A news page with a title band and list lines: the first page of a feed.
QImage overviewIcon()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);
    const QRectF sheet(5.5, 2.5, 21.0, 27.0);
    QLinearGradient paper(sheet.topLeft(), sheet.bottomRight());
    paper.setColorAt(0, Qt::white);
    paper.setColorAt(1, QColor(0xe4, 0xe9, 0xf1));
    p.setPen(QPen(QColor(0x6b, 0x7f, 0x9e), 1.0));
    p.setBrush(paper);
    p.drawRoundedRect(sheet, 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(HeaderBlue);
    p.drawRect(QRectF(6.0, 3.0, 20.0, 5.0));
    for (int row = 0; row < 4; ++row) {
        const qreal y = 12.0 + row * 4.5;
        p.setBrush(Orange.dark);
        p.drawRect(QRectF(8.5, y, 2.5, 2.5));
        p.setBrush(QColor(0x8a, 0x96, 0xaa));
        p.drawRect(QRectF(13.0, y + 0.5, row % 2 ? 8.0 : 11.0, 1.5));
    }
    return image;
}

// Frame `index` of a ring of ten dots whose dark head moves clockwise.
QImage loadingFrame(int index)
{
    QImage image = canvas(44, 44);
    QPainter p(&image);
    smooth(p);
    p.setPen(Qt::NoPen);
    const QPointF c(22, 22);
    for (int dot = 0; dot < 10; ++dot) {
        const int behind = (index - dot + 10) % 10;
        QColor colour = HeaderBlue;
        colour.setAlpha(std::max(40, 255 - behind * 36));
        p.setBrush(colour);
        const qreal t = qDegreesToRadians(90.0 - dot * 36.0);
        const qreal radius = behind == 0 ? 3.2 : 2.6;
        p.drawEllipse(c + QPointF(std::cos(t), -std::sin(t)) * 12.0, radius, radius);
    }
    return image;
}

// Vertical backgrounds: a gradient with a light top line and a dark bottom line.
QImage band(int height, const QColor &top, const QColor &bottom, const QColor &highlight,
    const QColor &shadow)
{
    QImage image(1, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const qreal f = qreal(y) / (height - 1);
        const QColor c = QColor::fromRgbF(top.redF() + (bottom.redF() - top.redF()) * f,
            top.greenF() + (bottom.greenF() - top.greenF()) * f,
            top.blueF() + (bottom.blueF() - top.blueF()) * f);
        image.setPixel(0, y, c.rgb());
    }
    image.setPixel(0, 0, highlight.rgb());
    image.setPixel(0, height - 1, shadow.rgb());
    return image;
}

QImage dottedLine()
{
    QImage image(8, 1, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int x : {0, 1, 4, 5})
        image.setPixel(x, 0, qRgb(0xc4, 0xc8, 0xd0));
    return image;
}

// Left picture of the wizards and dialogs: the header blues with a large faint
// feed sign rising from the lower left corner.
QImage sidePicture()
{
    const int w = 160, h = 420;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    smooth(p);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, HeaderBlue.lighter(115));
    sky.setColorAt(0.55, HeaderBlue);
    sky.setColorAt(1, BarBlue);
    p.fillRect(image.rect(), sky);

    const QPointF origin(26, h - 26);
    QColor faint(255, 255, 255, 38);
    p.setPen(Qt::NoPen);
    p.setBrush(faint);
    p.drawEllipse(origin, 16, 16);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        const qreal radius = 56 + i * 52;
        p.setPen(QPen(faint, 22, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(
            QRectF(origin.x() - radius, origin.y() - radius, 2 * radius, 2 * radius), 0, 90 * 16);
    }
    feedSign(p, QRectF(52.5, 36.5, 56, 56), Orange);
    // Soft light edge on the right, where the picture meets the white page.
    QLinearGradient edge(w - 12, 0, w, 0);
    edge.setColorAt(0, QColor(255, 255, 255, 0));
    edge.setColorAt(1, QColor(255, 255, 255, 60));
    p.fillRect(QRectF(w - 12, 0, 12, h), edge);
    return image;
}

} // namespace

QList<ArtworkFile> drawArtwork()
{
    // The feed sign on a page sits on the title band; blend its edges onto
    // the band's middle colour rather than onto white.
    const QRgb titleBand = qRgb(0x6c, 0x7f, 0x9d);

    QList<ArtworkFile> files{
        // Page images, exported next to the generated pages.
        {"feed-icon-24x24.gif", feedIcon(24, Orange), titleBand},
        {"read-12.gif", envelope(true)},
        {"unread-12.gif", envelope(false)},
        {"delete-12.gif", cross(12, 2.0)},
        {"flag-on-12.gif", flag(12, true)},
        {"flag-off-12.gif", flag(12, false)},
        {"arrow-right-12.gif", arrowRight()},
        {"topbg.png",
            band(44, QColor(0x8a, 0x9b, 0xb8), QColor(0x50, 0x63, 0x84), QColor(0xa8, 0xb6, 0xcf),
                QColor(0x3c, 0x4c, 0x69))},
        {"barbg.png",
            band(21, QColor(0x4c, 0x5c, 0x7d), QColor(0x2b, 0x38, 0x52), QColor(0x62, 0x72, 0x93),
                QColor(0x22, 0x2d, 0x44))},
        {"line.png", dottedLine()},
        // Tree, tool bar and window icons.
        {"rss-16.png", feedIcon(16, Orange)},
        {"folder-16.png", folder()},
        {"readfeed-12.png", feedIcon(12, Orange, 0.5)},
        {"unreadfeed-12.png", feedIcon(12, Grey, 0.5)},
        {"sync-16.png", syncIcon()},
        {"subscribe-24.png", subscribeIcon(24)},
        {"add_rss_feed-36.png", subscribeIcon(36)},
        {"overview-32.png", overviewIcon()},
        {"back-32.png", navigation(false)},
        {"forward-32.png", navigation(true)},
        {"fav-32.png", flag(32, true)},
        {"stop-32.png", stopIcon()},
        {"rss-sidebar.png", sidePicture()},
    };
    for (int i = 1; i <= 10; ++i)
        files.append({QStringLiteral("loading_%1.png").arg(i), loadingFrame(i - 1)});
    return files;
}
