#pragma once

#include "updater/feedvalidators.h"

#include <QByteArray>
#include <QString>

#include "core/transaction.h"

#include <memory>
#include <optional>

class FeedTree;
class QSqlDatabase;
class QSqlError;
class QSqlQuery;

// Stores one fetched feed document (RSS 0.9x/2.0, RDF, Atom or the "Channel"
// layout) for one feed: channel title, link, description and character set go to
// `feeds`, new items to `items` with increasing per-feed item ids, known items get
// their link refreshed, and items the user removed are deleted once the feed no
// longer carries them. All rows of one document are written in one transaction.
class FeedDocument
{
public:
    enum Result {
        NotADocument, // empty or not well-formed: nothing written
        Unchanged,
        Changed, // a new item, or the feed's first title
        StorageFailed // the database refused the document: nothing written
    };

    // feedId is the feed's id as decimal text.
    FeedDocument(QSqlDatabase *db, const QString &feedId);
    ~FeedDocument();

    Result process(const QByteArray &body);
    // Validators to store with the document, in its transaction: a document that
    // is not stored leaves the feed's earlier ones in place.
    void setValidators(const FeedValidators &values)
    {
        m_validators = values;
        m_storeValidators = true;
    }

    // Item id the next new item of this feed would receive.
    int nextItemId() const { return m_nextItemId; }
    // Whether the last document's root was one of RSS, RDF or Atom; a well-formed
    // web page is read without error but holds no feed.
    bool recognised() const { return m_recognised; }
    // The document gave the feed its first title.
    bool renamed() const { return m_renamed; }

    // The value in double quotes after the first "encoding=" before the first '>';
    // a null string when there is none.
    static QString declaredCharset(const QByteArray &bytes);
    // "Mon" .. "Sun" written out in full in the current language, unless the text
    // already carries the German "Montag".
    static QString expandDayNames(const QString &date);

private:
    struct Item
    {
        QString title;
        QString link;
        QString description;
        QString pubDate;
    };

    void walkRss();
    void walkRdf();
    void walkChannel();
    void walkAtom();
    void applyTitle(const QString &title);
    void applyLink(const QString &link);
    void applyDescription(const QString &description);
    Item readRssItem(int element) const;
    Item readAtomEntry(int element) const;
    void storeItem(const Item &item);
    QSqlQuery &prepared(int slot, const QString &statement);
    bool run(QSqlQuery &query);
    static bool isStorageFailure(const QSqlError &error);
    bool finishTransaction();

    QSqlDatabase *m_db;
    QString m_feedId;
    std::unique_ptr<FeedTree> m_tree;
    int m_nextItemId = 1;
    int m_lowestSeenId = 2147483647;
    bool m_changed = false;
    bool m_renamed = false;
    bool m_lost = false; // SQLite rolled the document's transaction back
    bool m_storeValidators = false;
    FeedValidators m_validators;
    // Statements prepared once per document and run once per item.
    std::unique_ptr<QSqlQuery> m_queries[6];
    bool m_recognised = false;
    // The document's transaction; ends before the statements above are freed.
    std::optional<Transaction> m_transaction;
};
