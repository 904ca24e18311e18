#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

class QIODevice;

// One subscription of a subscription list: the folder is the path of the
// outlines around it, joined with " / "; empty for the top level.
struct OpmlFeed
{
    QString title;
    QString xmlUrl;
    QString htmlUrl;
    QString folder;
};

// A folder and its feeds, in the order they are written.
struct OpmlFolder
{
    QString title;
    QList<OpmlFeed> feeds;
};

// Reads and writes OPML subscription lists. Reading accepts versions 1.0 to 2.0
// in any encoding the XML declaration names; a document that is not well-formed
// or not OPML yields no feeds at all.
class OpmlDocument
{
    Q_DECLARE_TR_FUNCTIONS(OpmlDocument)

public:
    bool read(QIODevice *device);
    bool read(const QByteArray &data);

    // Why the last read failed; empty after a successful one.
    QString errorString() const { return m_error; }
    QString title() const { return m_title; }
    // The feeds in document order.
    const QList<OpmlFeed> &feeds() const { return m_feeds; }
    // Outlines that name a feed without an address that can be fetched.
    int refused() const { return m_refused; }

    // UTF-8, OPML 2.0: one outline per folder, holding that folder's feeds.
    static QByteArray write(const QString &title, const QList<OpmlFolder> &folders);

    // An http or https address, after trimming; empty when it is not one.
    static QString feedAddress(const QString &text);

private:
    QString m_error;
    QString m_title;
    QList<OpmlFeed> m_feeds;
    int m_refused = 0;
};
