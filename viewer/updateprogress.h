#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QStatusBar;
class QTimer;

// The status bar's account of the viewer's update runs: that a run starts, how
// many of its feeds have ended, and how it ended. Each message stays for its
// time; a link's target or a menu hint may cover it meanwhile, and the window
// shows message() again when they go.
class UpdateProgress : public QObject
{
    Q_OBJECT
public:
    explicit UpdateProgress(QStatusBar *statusBar);

    // A run over these feeds; total is the number the messages count.
    void startRun(int total, const QList<int> &feeds);
    // A run of one feed; feeds of a run still going are still waited for.
    void startFeed(int id);
    void feedEnded(int id, bool failed);

    // The message of the moment; empty once its time is over.
    QString message() const { return m_message; }

private:
    void begin(int total);
    void show(const QString &text, int timeout);

    QStatusBar *m_statusBar;
    QTimer *m_timer;
    QString m_message;
    bool m_updating = false;
    int m_total = 0;
    QList<int> m_pending;
    int m_failedInRun = 0;
};
