#pragma once

#include "core/opmldocument.h"

#include <QList>
#include <QSet>

class QSqlDatabase;

// The user's subscriptions as a list of folders and feeds: written out for other
// readers, and merged into the database from their lists. It only touches the
// feeds and folder tables; telling the server and the views is the caller's work.
class SubscriptionList
{
public:
    struct Outcome
    {
        QList<int> added; // new rows, subscribed, in the order of the list
        QList<int> resubscribed; // rows that were kept unsubscribed and are subscribed again
        QList<int> newFolders; // folders created for the list
        int skipped = 0; // already subscribed, or named twice in the list
        bool stored = true; // false: the database refused the change, nothing was kept
    };

    explicit SubscriptionList(QSqlDatabase *db) : m_db(db) { }

    // Every subscribed feed, one entry per folder in tree order (folders without
    // subscribed feeds are left out).
    QList<OpmlFolder> folders() const;

    // Adds the feeds as own feeds (farmids below every existing one) in their
    // folders, creating the folders that are missing, all in one transaction.
    Outcome add(const QList<OpmlFeed> &feeds);

private:
    int folderFor(const QString &title, QHash<QString, int> *known, Outcome *outcome);

    QSqlDatabase *m_db;
};
