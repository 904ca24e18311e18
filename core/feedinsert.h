#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// The one statement that adds a row to the feeds table, prepared once and run
// for as many feeds as the caller adds. A null title or link leaves them to the
// first fetch.
class FeedInsert
{
public:
    explicit FeedInsert(QSqlDatabase &db);

    struct Row
    {
        int id = 0;
        QString source;
        QVariant title;
        QVariant link;
        int toload = 1;
        int folderId = 1;
        int inclient = 1;
        qint64 farmid = 0;
    };
    bool run(const Row &row);

private:
    QSqlQuery m_query;
};
