#pragma once

#include <QTableWidget>

class QSqlDatabase;

// The feeds of the settings dialog, one check box each: ticked feeds are shown in
// the client's news display as well. Changes reach the database only by apply().
class PFeedTable : public QTableWidget
{
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole,
        InClientRole // the stored state when the table was filled
    };

    explicit PFeedTable(QWidget *parent = nullptr);

    void fill(QSqlDatabase *db);
    // Writes every changed check box and reports it with sendShowFeed() or sendHideFeed().
    void apply();

signals:
    void sendHideFeed(int id);
    void sendShowFeed(int id);

private:
    void fillRows(const QString &statement, int *row);

    QSqlDatabase *db = nullptr;
};
