#include "clientwindow.h"
#include "newsdisplay.h"

#include "host/pstatusbar.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

ClientWindow::ClientWindow(QWidget *parent)
    : PWindow(parent),
      m_display(new NewsDisplay),
      m_problemLabel(new QLabel),
      m_subscribeButton(new QPushButton),
      m_settingsButton(new QPushButton),
      m_viewerButton(new QPushButton),
      m_freshButton(new QPushButton)
{
    setObjectName(QStringLiteral("clientWindow"));
    m_subscribeButton->setObjectName(QStringLiteral("subscribeButton"));
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_viewerButton->setObjectName(QStringLiteral("viewerButton"));
    m_problemLabel->setObjectName(QStringLiteral("problemLabel"));
    m_freshButton->setObjectName(QStringLiteral("startFreshButton"));
    m_freshButton->hide();
    m_problemLabel->setWordWrap(true);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_viewerButton);
    buttons->addWidget(m_subscribeButton);
    buttons->addWidget(m_settingsButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(m_display, 1);
    setWidget(central);
    statusBar()->addWidget(m_problemLabel, 1);
    statusBar()->addPermanentWidget(m_freshButton);

    m_newsMenu = menuBar()->addMenu(QString());
    m_viewerAction = m_newsMenu->addAction(QString(), this, &ClientWindow::viewerRequested);
    m_subscribeAction = m_newsMenu->addAction(QString(), this, &ClientWindow::subscribeRequested);
    m_settingsAction = m_newsMenu->addAction(QString(), this, &ClientWindow::settingsRequested);
    m_newsMenu->addSeparator();
    m_quitAction = m_newsMenu->addAction(QString(), this, &ClientWindow::quitRequested);
    m_quitAction->setShortcut(QKeySequence::Quit);

    m_languageMenu = menuBar()->addMenu(QString());
    auto *languages = new QActionGroup(this);
    // Language names are written in their own language, so that anyone finds theirs.
    m_englishAction = m_languageMenu->addAction(QStringLiteral("English"));
    m_germanAction = m_languageMenu->addAction(QStringLiteral("Deutsch"));
    for (QAction *action : {m_englishAction, m_germanAction}) {
        action->setCheckable(true);
        languages->addAction(action);
    }
    m_englishAction->setChecked(true);
    connect(m_englishAction, &QAction::triggered, this,
        [this] { emit languageRequested(QStringLiteral("en")); });
    connect(m_germanAction, &QAction::triggered, this,
        [this] { emit languageRequested(QStringLiteral("de")); });

    connect(m_viewerButton, &QPushButton::clicked, this, &ClientWindow::viewerRequested);
    connect(m_subscribeButton, &QPushButton::clicked, this, &ClientWindow::subscribeRequested);
    connect(m_settingsButton, &QPushButton::clicked, this, &ClientWindow::settingsRequested);
    connect(m_freshButton, &QPushButton::clicked, this, &ClientWindow::startFreshRequested);

    resize(420, 560);
    retranslate();
}

void ClientWindow::applySkin()
{
    // The registered skin (the brand's, or the default one) may style the window.
    QFile skin(QStringLiteral(":/skin/client.qss"));
    setStyleSheet(skin.open(QIODevice::ReadOnly) ? QString::fromUtf8(skin.readAll()) : QString());
}

void ClientWindow::showDatabaseProblem(const QString &reason)
{
    m_databaseProblem = reason;
    m_freshButton->setVisible(!reason.isEmpty());
    updateProblemText();
}

void ClientWindow::showServerProblem(const QString &text)
{
    m_serverProblem = text;
    updateProblemText();
}

QString ClientWindow::problemText() const
{
    return m_problemLabel->text();
}

void ClientWindow::updateProblemText()
{
    QStringList lines;
    if (!m_databaseProblem.isEmpty())
        lines.append(tr("The news database could not be opened: %1").arg(m_databaseProblem));
    if (!m_serverProblem.isEmpty())
        lines.append(m_serverProblem);
    m_problemLabel->setText(lines.join(QLatin1Char('\n')));
}

void ClientWindow::setLanguageCode(const QString &code)
{
    (code == QLatin1String("de") ? m_germanAction : m_englishAction)->setChecked(true);
}

void ClientWindow::bringForward()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void ClientWindow::retranslate()
{
    setWindowTitle(tr("pellix"));
    m_newsMenu->setTitle(tr("&News"));
    m_languageMenu->setTitle(tr("&Language"));
    m_viewerAction->setText(tr("News &viewer"));
    m_subscribeAction->setText(tr("&Subscribe to feeds..."));
    m_settingsAction->setText(tr("News s&ettings..."));
    m_freshButton->setText(tr("Move it aside and start afresh"));
    m_freshButton->setToolTip(tr("Keeps the unusable file beside it under a new name and brings "
                                 "your feeds, folders and settings back from the server."));
    m_quitAction->setText(tr("&Quit"));
    m_viewerButton->setText(tr("News viewer"));
    m_subscribeButton->setText(tr("Subscribe..."));
    m_settingsButton->setText(tr("Settings..."));
    updateProblemText();
}

void ClientWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    PWindow::changeEvent(event);
}

void ClientWindow::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the client, whatever the plug-in's windows do.
    event->ignore();
    emit quitRequested();
}
