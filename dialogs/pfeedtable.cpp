#include "pfeedtable.h"

#include <QHeaderView>
#include <QSqlQuery>

PFeedTable::PFeedTable(QWidget *parent) : QTableWidget(parent)
{
    setColumnCount(1);
    setShowGrid(false);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void PFeedTable::fill(QSqlDatabase *database)
{
    db = database;
    clearContents();
    setRowCount(0);
    if (!db)
        return;

    QSqlQuery count(*db);
    if (count.exec(QStringLiteral("select count(*) from feeds")) && count.first())
        setRowCount(count.value(0).toInt());

    int row = 0;
    fillRows(QStringLiteral("select id, channeltitle, inclient from feeds where channeltitle is "
                            "not null"),
        &row);
    fillRows(
        QStringLiteral("select id, source, inclient from feeds where channeltitle is null"), &row);

    for (int i = 0; i < rowCount(); ++i)
        setRowHeight(i, 20);
}

void PFeedTable::fillRows(const QString &statement, int *row)
{
    QSqlQuery query(*db);
    if (!query.exec(statement))
        return;
    // Feeds added since the count have no row left and are not shown.
    while (*row < rowCount() && query.next()) {
        auto *item = new QTableWidgetItem(query.value(1).toString());
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        const bool inClient = query.value(2).toInt() == 1;
        item->setData(IdRole, query.value(0).toInt());
        item->setData(InClientRole, inClient);
        item->setCheckState(inClient ? Qt::Checked : Qt::Unchecked);
        setItem(*row, 0, item);
        ++*row;
    }
}

void PFeedTable::apply()
{
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *entry = item(row, 0);
        if (!entry)
            continue;
        const bool shown = entry->checkState() == Qt::Checked;
        if (shown == entry->data(InClientRole).toBool())
            continue;
        const int id = entry->data(IdRole).toInt();
        QSqlQuery query(*db);
        if (shown) {
            query.exec(
                QStringLiteral("update feeds set inclient = 1 where id = ") + QString::number(id));
            emit sendShowFeed(id);
        } else {
            query.exec(
                QStringLiteral("update feeds set inclient = 0 where id = ") + QString::number(id));
            emit sendHideFeed(id);
        }
    }
}
