#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class BrowserControl;
class QSqlDatabase;

// The right side of the viewer: the browser showing the feed pages and web
// pages. It turns the pages' command links (read, toDelete, mark), as the
// control reports each click on one, into database
// changes and item-state reports, and defers rebuilding the touched feeds until
// the user leaves the page, so the page under the pointer stays as it is.
class PBrowserFrame : public QWidget
{
    Q_OBJECT
public:
    explicit PBrowserFrame(
        QSqlDatabase *db, QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    // A frame around a given control (which it takes over as a child).
    PBrowserFrame(QSqlDatabase *db, BrowserControl *control, QWidget *parent = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags());

    void Navigate(const QString &url);
    // The viewer rebuilt feed id anyway: no deferred rebuild is due for the page shown.
    void clearPendingFor(int id);

    BrowserControl *control() const { return m_control; }
    QList<int> pendingIds() const { return m_pendingIds; }
    bool isPending() const { return m_pending; }
    bool isShowingPage() const { return m_showingPage; }
    int shownFeedId() const { return m_shownFeedId; }

    // Path prefix of the current user's page files: <viewer dir>/<user>_channel,
    // native separators, lower case.
    static QString pagePrefix();

signals:
    void CommandStateChange(int command, bool enabled);
    void DownloadBegin();
    void DownloadComplete();
    void NavigateComplete(const QString &url);
    // command 0: deletion mark toggled, 1: item now read, 2: item now unread.
    void sendItemStateChanged(int command, int channelid, int itemid);
    void update(int id);
    // An item's link to open in the desktop's browser.
    void sendOpenExternally(const QString &url);

public slots:
    void GoBack();
    void GoForward();
    void Refresh();
    void Stop();

protected:
    bool event(QEvent *e) override;

private slots:
    void getNewPage(const QString &url);
    void getPageCommand(const QString &target);

private:
    QSqlDatabase *m_db;
    BrowserControl *m_control;
    QList<int> m_pendingIds;
    bool m_pending = false;
    bool m_showingPage = false;
    int m_shownFeedId = 0;
};
