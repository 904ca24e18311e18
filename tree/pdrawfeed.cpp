#include "pdrawfeed.h"

#include <QPainter>

PDrawFeed::PDrawFeed(QObject *parent) : QItemDelegate(parent) { }

void PDrawFeed::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    topLevel = !index.parent().isValid();
    QItemDelegate::paint(painter, option, index);
}

void PDrawFeed::drawDisplay(QPainter *painter, const QStyleOptionViewItem &option,
    const QRect &rect, const QString &text) const
{
    if (!topLevel) {
        QItemDelegate::drawDisplay(painter, option, rect, text);
        return;
    }
    // Folder captions are never coloured for selection: the green caption is the marker.
    QFont font = painter->font();
    font.setWeight(QFont::Bold);
    painter->save();
    painter->setFont(font);
    painter->setPen(Qt::darkGreen);
    painter->drawText(rect, Qt::TextSingleLine, text);
    painter->restore();
}
