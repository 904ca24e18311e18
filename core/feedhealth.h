#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QSet>
#include <QString>

class QSqlDatabase;

// How each feed's last update ended, kept in the profile in a table of its own
// ("feedhealth"), so that the tree and the feed's properties can tell a feed that
// keeps failing from one that merely has nothing new.
class FeedHealth
{
    Q_DECLARE_TR_FUNCTIONS(FeedHealth)

public:
    enum Result { NotChecked, Changed, Unchanged, HttpError, NetworkError, NotAFeed };

    struct Record
    {
        QDateTime checked; // UTC
        Result result = NotChecked;
        int httpStatus = 0; // for HttpError
        QString error; // what went wrong, as the transfer or the parser said it

        bool failed() const
        {
            return result == HttpError || result == NetworkError || result == NotAFeed;
        }
    };

    explicit FeedHealth(QSqlDatabase *db) : m_db(db) { }

    // Creates the table when the profile has none yet.
    static bool createTable(QSqlDatabase &db);

    bool store(int feedId, const Record &record);
    Record recordOf(int feedId) const;
    QSet<int> failedFeeds() const;
    void forget(int feedId);

    // "unchanged", "HTTP status 404", ... in the user's language.
    static QString resultText(const Record &record);
    // Several lines for a tool tip: last update, result and error.
    static QString summary(const Record &record);

private:
    static QString keyword(Result result);
    static Result fromKeyword(const QString &keyword);

    QSqlDatabase *m_db;
};
