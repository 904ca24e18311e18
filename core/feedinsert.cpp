#include "feedinsert.h"

FeedInsert::FeedInsert(QSqlDatabase &db) : m_query(db)
{
    m_query.prepare(QStringLiteral(
        "insert into feeds (id, source, channeltitle, link, toload, folderid, inclient, farmid) "
        "values(:id, :source, :title, :link, :toload, :folderid, :inclient, :farmid)"));
}

bool FeedInsert::run(const Row &row)
{
    m_query.bindValue(QStringLiteral(":id"), row.id);
    m_query.bindValue(QStringLiteral(":source"), row.source);
    m_query.bindValue(QStringLiteral(":title"), row.title);
    m_query.bindValue(QStringLiteral(":link"), row.link);
    m_query.bindValue(QStringLiteral(":toload"), row.toload);
    m_query.bindValue(QStringLiteral(":folderid"), row.folderId);
    m_query.bindValue(QStringLiteral(":inclient"), row.inclient);
    m_query.bindValue(QStringLiteral(":farmid"), row.farmid);
    return m_query.exec();
}
