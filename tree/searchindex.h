#pragma once

#include <QHash>
#include <QList>
#include <QObject>

class QSqlDatabase;
class QTimer;

// A trigram index over item titles and descriptions that narrows a LIKE search to the
// items that can match, so that a search need not read every stored item. It only ever
// narrows: the search still applies its LIKE pattern to the rows it names.
//
// The index is a contentless FTS5 table kept current by triggers on items. A database
// that predates it is indexed in small steps from the event loop; until that is done,
// candidates() declines and searches read every item as before.
class SearchIndex : public QObject
{
    Q_OBJECT
public:
    explicit SearchIndex(QSqlDatabase *db, QObject *parent = nullptr);

    bool isAvailable() const { return m_available; }
    bool isReady() const { return m_ready; }

    // The items, per feed id, that may match a LIKE pattern ("%" and "_" as wildcards).
    // Returns false when the index cannot narrow the search: not built yet, or no run of
    // three characters without wildcards in the pattern.
    bool candidates(const QString &likePattern, QHash<int, QList<int>> *byFeed) const;

    // Indexes the rest at once (a search that cannot wait, benchmarks).
    void buildAll();

signals:
    void ready();

private:
    void create();
    // Indexes up to count more items; returns true when none are left.
    bool buildStep(int count);
    void scheduleStep();

    QSqlDatabase *m_db;
    QTimer *m_timer = nullptr;
    bool m_available = false;
    bool m_ready = false;
};
