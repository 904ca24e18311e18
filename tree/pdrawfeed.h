#pragma once

#include <QItemDelegate>

// Paints the feed tree: folder captions bold and dark green, everything else as usual.
class PDrawFeed : public QItemDelegate
{
    Q_OBJECT
public:
    explicit PDrawFeed(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

protected:
    void drawDisplay(QPainter *painter, const QStyleOptionViewItem &option, const QRect &rect,
        const QString &text) const override;

private:
    // paint() tells drawDisplay() that the row being painted is a folder.
    mutable bool topLevel = false;
};
