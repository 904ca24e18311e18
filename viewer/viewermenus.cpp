#include "viewermenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

ViewerMenus::ViewerMenus(QWidget *window, QMenuBar *menuBar, QAction *deleteNews)
    : QObject(menuBar), m_window(window)
{
    menuBar->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    m_newsMenu = menuBar->addMenu(QString());
    m_importAction = m_newsMenu->addAction(QString());
    m_importAction->setObjectName(QStringLiteral("importAction"));
    m_exportAction = m_newsMenu->addAction(QString());
    m_exportAction->setObjectName(QStringLiteral("exportAction"));
    m_newsMenu->addSeparator();
    m_optionsAction = m_newsMenu->addAction(QString());
    m_optionsAction->setObjectName(QStringLiteral("optionsAction"));
    m_closeAction = m_newsMenu->addAction(QString());
    m_closeAction->setObjectName(QStringLiteral("closeAction"));

    m_actionsMenu = menuBar->addMenu(QString());
    m_subscribeAction = m_actionsMenu->addAction(QString());
    m_subscribeAction->setObjectName(QStringLiteral("subscribeAction"));
    m_actionsMenu->addAction(deleteNews);
    m_updateNewsAction = m_actionsMenu->addAction(QString());
    m_updateNewsAction->setObjectName(QStringLiteral("updateNewsAction"));
    m_updateNewsAction->setShortcut(QKeySequence::Refresh);

    const auto add = [this](const char *name, const QKeySequence &key) {
        QAction *action = m_actionsMenu->addAction(QString());
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        return action;
    };
    m_actionsMenu->addSeparator();
    m_markReadAction = add("markReadAction", QKeySequence(Qt::SHIFT | Qt::Key_R));
    m_markAllReadAction = add("markAllReadAction", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    m_actionsMenu->addSeparator();
    // Single letters: the search field keeps them while it has the focus.
    m_nextItemAction = add("nextItemAction", QKeySequence(Qt::Key_N));
    m_previousItemAction = add("previousItemAction", QKeySequence(Qt::Key_P));
    m_nextUnreadAction = add("nextUnreadAction", QKeySequence(Qt::Key_U));
    m_toggleReadAction = add("toggleReadAction", QKeySequence(Qt::Key_R));
    m_toggleFlagAction = add("toggleFlagAction", QKeySequence(Qt::Key_F));
    m_openBrowserAction = add("openBrowserAction", QKeySequence(Qt::Key_O));
    m_searchAction = add("searchAction", QKeySequence::Find);

    m_helpMenu = menuBar->addMenu(QString());
    m_shortcutsAction = m_helpMenu->addAction(QString());
    m_shortcutsAction->setObjectName(QStringLiteral("shortcutsAction"));
    connect(m_shortcutsAction, &QAction::triggered, this, &ViewerMenus::showShortcuts);
}

void ViewerMenus::retranslate()
{
    m_newsMenu->setTitle(tr("&News"));
    m_optionsAction->setText(tr("&Options"));
    m_closeAction->setText(tr("&Close"));
    m_actionsMenu->setTitle(tr("&Actions"));
    m_subscribeAction->setText(tr("&Subscribe to News"));
    m_updateNewsAction->setText(tr("&Update News"));
    m_importAction->setText(tr("&Import Subscriptions..."));
    m_exportAction->setText(tr("&Export Subscriptions..."));
    m_markReadAction->setText(tr("&Mark All Read"));
    m_markAllReadAction->setText(tr("Mark &Everything Read"));
    m_nextItemAction->setText(tr("&Next Item"));
    m_previousItemAction->setText(tr("&Previous Item"));
    m_nextUnreadAction->setText(tr("Next U&nread Feed"));
    m_toggleReadAction->setText(tr("Toggle &Read"));
    m_toggleFlagAction->setText(tr("Toggle &Flag"));
    m_openBrowserAction->setText(tr("&Open in Browser"));
    m_searchAction->setText(tr("&Search"));
    m_helpMenu->setTitle(tr("&Help"));
    m_shortcutsAction->setText(tr("&Keyboard Shortcuts"));
}

void ViewerMenus::showShortcuts()
{
    QString rows;
    for (QAction *action : m_actionsMenu->actions()) {
        if (action->shortcut().isEmpty())
            continue;
        QString text = action->text();
        text.remove(QLatin1Char('&'));
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(action->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped(),
                        text.toHtmlEscaped());
    }
    QMessageBox box(QMessageBox::NoIcon, tr("Keyboard Shortcuts"),
        QStringLiteral("<table>") + rows + QStringLiteral("</table>"), QMessageBox::Close,
        m_window);
    box.setObjectName(QStringLiteral("shortcutsBox"));
    box.exec();
}
