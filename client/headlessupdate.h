#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

class PluginHost;
class QIODevice;

// One update run without a window: subscribes the given addresses once the
// plug-in has synchronised, updates every subscribed feed and prints one line
// per feed as it ends ("<id>\t<address>\tchanged|unchanged|failed", and for a
// failed feed a tab and the reason: an HTTP status, a network error or "not a feed").
class HeadlessUpdate : public QObject
{
    Q_OBJECT
public:
    HeadlessUpdate(PluginHost *host, const QStringList &subscriptions, QIODevice *output,
        QIODevice *errors, QObject *parent = nullptr);

    // Connects to the plug-in; false (with the reason) when it lacks what a run needs.
    bool attach(QString *errorString);

public slots:
    // Subscribes and starts the run now; for a plug-in that has synchronised already.
    void start();

signals:
    void finished(int exitCode);

private slots:
    void synchronised();
    void feedUpdated(
        int id, const QString &source, const QString &outcome, const QString &reason = QString());
    void runFinished();
    void databaseFailed(const QString &reason);
    void storageFailed(int id);

private:
    void finish(int exitCode);

    PluginHost *m_host;
    QStringList m_subscriptions;
    QIODevice *m_output;
    QIODevice *m_errors;
    QSet<int> m_reported;
    // Feeds whose news the database refused: the run then ends with exit code 1.
    QSet<int> m_unstored;
    bool m_started = false;
    bool m_finished = false;
};
