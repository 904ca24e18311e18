#pragma once

#include <QItemDelegate>

// Paints the search tree: folders and feeds as usual, each found item as a card of
// title, description and date (the Qt::UserRole string list of the row).
class PDrawSearch : public QItemDelegate
{
    Q_OBJECT
public:
    explicit PDrawSearch(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};
