#include "pdrawsearch.h"

#include <QPainter>
#include <QTextOption>

namespace {

QFont boldFont(const QFont &base)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() + 2);
    else
        font.setPixelSize(font.pixelSize() + 2);
    font.setWeight(QFont::Bold);
    return font;
}

void drawGrey(QPainter *painter, const QPoint &baseline, const QString &text)
{
    const QPen pen = painter->pen();
    painter->setPen(Qt::gray);
    painter->drawText(baseline, text);
    painter->setPen(pen);
}

} // namespace

PDrawSearch::PDrawSearch(QObject *parent) : QItemDelegate(parent) { }

void PDrawSearch::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!index.parent().parent().isValid()) {
        QItemDelegate::paint(painter, option, index);
        return;
    }

    QStringList card = index.data(Qt::UserRole).toStringList();
    const bool complete = card.size() == 3;
    // A row always carries three strings; anything shorter is drawn with the gaps empty.
    while (card.size() < 3)
        card.append(QString());
    const QString &title = card.at(0);
    const QString &description = card.at(1);
    const QString &date = card.at(2);

    painter->save();
    const QPalette::ColorRole role
        = option.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Light;
    painter->fillRect(option.rect, option.palette.brush(role));

    const QRect &r = option.rect;
    const QFont normal = painter->font();
    QTextOption wrap(Qt::AlignLeft);
    wrap.setWrapMode(QTextOption::WordWrap);
    const QPoint dateBaseline(r.left(), r.bottom() - 4);
    // Wrapped text is clipped to its area, above the date line.
    const QRectF fullArea(QPoint(r.left(), r.top()), QPoint(r.right(), r.bottom() - 19));
    const QRectF belowTitle(QPoint(r.left(), r.top() + 19), QPoint(r.right(), r.bottom() - 19));

    if (description.isEmpty() && complete) {
        drawGrey(painter, dateBaseline, date);
        painter->setFont(boldFont(normal));
        painter->drawText(fullArea, title, wrap);
    } else if (title.isEmpty()) {
        drawGrey(painter, dateBaseline, date);
        painter->drawText(fullArea, description, wrap);
    } else {
        painter->setFont(boldFont(normal));
        painter->drawText(QPoint(r.left(), r.top() + 15), title);
        painter->setFont(normal);
        drawGrey(painter, dateBaseline, date);
        painter->drawText(belowTitle, description, wrap);
    }
    painter->restore();
}
