#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QSqlDatabase;
class QWidget;

// Subscription lists in and out of the plug-in: reads a list, merges it into the
// database and words the outcome for the user; writes the subscriptions out. What
// the server and the views must hear of a merged list goes out as signals, in the
// order the plug-in has to act on them.
class SubscriptionTransfer : public QObject
{
    Q_OBJECT
public:
    explicit SubscriptionTransfer(QSqlDatabase *db, QObject *parent = nullptr);

    // The answer holds "ok" (false: the list was refused and nothing changed),
    // "added", "skipped", "refused" and "summary", a sentence for the user.
    // databaseUsable false refuses every list.
    QVariantMap import(const QByteArray &document, bool databaseUsable);
    // The subscribed feeds as an OPML 2.0 list, one outline per folder.
    QByteArray exportList() const;

    // The same, with a file chosen by the user and the outcome shown in a message box.
    void importFile(QWidget *parent, bool databaseUsable);
    void exportFile(QWidget *parent);

signals:
    void folderAdded(int folder);
    void feedAdded(int id, int farmid, const QString &title, const QString &source);
    void feedResubscribed(int id);
    // After the feeds above: every feed the list changed, and whether the folder
    // layout changed with it.
    void listMerged(const QList<int> &changed, bool layoutChanged);

private:
    QSqlDatabase *m_db;
};
