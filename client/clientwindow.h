#pragma once

#include "host/pwindow.h"

class NewsDisplay;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPushButton;

// The client's main window: the news display, buttons and menus for the news
// plug-in's windows, the language menu and a status line for problems.
class ClientWindow : public PWindow
{
    Q_OBJECT
public:
    explicit ClientWindow(QWidget *parent = nullptr);

    NewsDisplay *display() const { return m_display; }
    // Takes the style sheet of the registered skin, if any.
    void applySkin();
    // Problems stay visible in the status line until they are cleared.
    void showDatabaseProblem(const QString &reason);
    void showServerProblem(const QString &text);
    QString problemText() const;
    void setLanguageCode(const QString &code);
    // Brings the window forward (new items, window activation).
    void bringForward();

signals:
    void subscribeRequested();
    void settingsRequested();
    void viewerRequested();
    void languageRequested(const QString &code);
    void quitRequested();
    // The user agreed to move the unusable news database aside and start afresh.
    void startFreshRequested();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void retranslate();
    void updateProblemText();

    NewsDisplay *m_display;
    QLabel *m_problemLabel;
    QPushButton *m_subscribeButton;
    QPushButton *m_settingsButton;
    QPushButton *m_viewerButton;
    QPushButton *m_freshButton;
    QMenu *m_newsMenu;
    QMenu *m_languageMenu;
    QAction *m_subscribeAction;
    QAction *m_settingsAction;
    QAction *m_viewerAction;
    QAction *m_quitAction;
    QAction *m_englishAction;
    QAction *m_germanAction;
    QString m_databaseProblem;
    QString m_serverProblem;
};
