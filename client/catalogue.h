#pragma once

#include "host/protocol.h"
#include <QCoreApplication>

#include <QList>
#include <QString>

// The recommended feeds the client's server offers: categories (with parents)
// holding feeds with their catalogue id, title and address.
class Catalogue
{
    Q_DECLARE_TR_FUNCTIONS(Catalogue)

public:
    struct Feed
    {
        int id = 0;
        QString title;
        QString address;
    };
    struct Category
    {
        int id = 0;
        int parent = 0; // 0: top level
        QString name;
        QList<Feed> feeds;
    };

    // The catalogue shipped with the client (a compiled-in resource).
    static QString builtInFile();

    // Reads a JSON catalogue: {"categories":[{"id","parent","name","feeds":[{"id","title",
    // "address"}]}]}. On failure the catalogue stays empty and errorString() tells why.
    bool load(const QString &file);
    bool isLoaded() const { return m_loaded; }
    QString errorString() const { return m_error; }

    const QList<Category> &categories() const { return m_categories; }
    // The feed with that catalogue id, or null.
    const Feed *feed(int id) const;

    // Answer to a children request: for node 0 the top-level categories, for any
    // other node every category below it in depth-first order, parents before
    // their children; each category record is followed by its feeds.
    Protocol childrenAnswer(int node) const;

private:
    void appendChildren(Protocol &answer, int node, int *count, qsizetype depth) const;

    QList<Category> m_categories;
    bool m_loaded = false;
    QString m_error;
};
