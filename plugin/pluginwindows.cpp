#include "pluginwindows.h"
#include "prssfeedplugin.h"

#include "core/rssprotocol.h"

#include "host/pdesktop.h"
#include "host/pmessagebox.h"
#include "host/psimplemessage.h"
#include "host/pwizard_standard2.h"

#include "dialogs/pconfigdialog.h"
#include "tree/feedmodel.h"
#include "tree/pfeedstree.h"
#include "viewer/prssfeedview.h"
#include "wizard/abowizzard.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include <QIcon>

PluginWindows::PluginWindows(QSqlDatabase *db, PRSSFeedPlugin *plugin) : m_db(db), m_plugin(plugin)
{
}

PluginWindows::~PluginWindows()
{
    delete m_viewer.data();
}

void PluginWindows::sendWindowActivate(QWidget *window)
{
    PSimpleMessage message(ClientMessage::CoreModule, ClientMessage::WindowActivate, false);
    message.AddFieldAsInt32(ProtocolField::Plain, qint32(window->winId()));
    message.Send();
}

PRSSFeedView *PluginWindows::createViewer()
{
    auto *view = new PRSSFeedView(m_db, nullptr);
    view->setWindowIcon(QIcon(QStringLiteral(":/rss-16")));
    PRSSFeedPlugin *plugin = m_plugin;
    // The updater may not exist yet or may be replaced by a later synchronisation:
    // the plug-in hands each request to the one current when it is made.
    connect(
        view, &PRSSFeedView::sendAboChannel, plugin, qOverload<>(&PRSSFeedPlugin::startAboWindow));
    connect(view, &PRSSFeedView::sendUpdate, this, &PluginWindows::updateWanted);
    connect(view, &PRSSFeedView::sendUpdateAll, plugin, &PRSSFeedPlugin::updateAllFeeds);
    connect(view, &PRSSFeedView::clearFeed, plugin,
        qOverload<const QString &, bool>(&PRSSFeedPlugin::clearFeed));
    connect(view, &PRSSFeedView::sendChangeFeeds, plugin, &PRSSFeedPlugin::newItems);
    connect(view, &PRSSFeedView::sendOptions, plugin,
        qOverload<>(&PRSSFeedPlugin::startSettingsDialog));
    connect(view, &PRSSFeedView::sendItemStateChanged, plugin,
        qOverload<int, int, int>(&PRSSFeedPlugin::itemStateChanged));
    connect(view, &PRSSFeedView::sendStartUpdate, this, &PluginWindows::startUpdateWanted);
    connect(view, &PRSSFeedView::sendSaveGroups, plugin, &PRSSFeedPlugin::saveGroups);
    connect(view, &PRSSFeedView::sendRenameFeed, plugin, &PRSSFeedPlugin::renameFeed);
    connect(view, &PRSSFeedView::sendImportSubscriptions, this,
        [this] { emit importWanted(m_viewer.data()); });
    connect(view, &PRSSFeedView::sendExportSubscriptions, this,
        [this] { emit exportWanted(m_viewer.data()); });
    return view;
}

void PluginWindows::openViewer(int channelId, int itemId)
{
    if (!m_viewer)
        m_viewer = createViewer();
    m_viewer->openItem(channelId, itemId);
    m_viewer->show();
    if (m_viewer->isMinimized())
        m_viewer->showNormal();
    sendWindowActivate(m_viewer);
}

void PluginWindows::closeViewer()
{
    if (m_viewer)
        m_viewer->close();
}

void PluginWindows::runWizard()
{
    if (m_mission) {
        if (m_wizardDialog && m_wizardDialog->isMinimized()) {
            m_wizardDialog->showNormal();
            sendWindowActivate(m_wizardDialog);
        }
        return;
    }
    auto *dialog = new PWizard_Standard2;
    m_wizardDialog = dialog;
    auto *mission = new AboWizzard(m_db, dialog);
    m_mission = mission;
    connect(mission, &AboWizzard::saveFeed, m_plugin,
        qOverload<const QString &, const QString &, int>(&PRSSFeedPlugin::saveFeed));
    connect(mission, &AboWizzard::clearFeed, m_plugin,
        qOverload<const QString &>(&PRSSFeedPlugin::clearFeed));
    dialog->Set_Mission(mission);
    dialog->setFixedSize(580, 480);
    dialog->setFixed(true);
    sendWindowActivate(dialog);
    dialog->exec();
    delete m_wizardDialog.data();
    delete m_mission.data();
}

void PluginWindows::runSettings(bool fromClient)
{
    if (m_settingsDialog) {
        if (m_settingsDialog->isMinimized()) {
            m_settingsDialog->showNormal();
            sendWindowActivate(m_settingsDialog);
        }
        return;
    }
    auto *dialog = new PConfigDialog(m_db, nullptr);
    m_settingsDialog = dialog;
    PRSSFeedPlugin *plugin = m_plugin;
    connect(dialog, &PConfigDialog::sendHideFeed, plugin, &PRSSFeedPlugin::hideFeed);
    connect(dialog, &PConfigDialog::sendHideFeed, plugin, &PRSSFeedPlugin::renameFeed);
    connect(dialog, &PConfigDialog::sendNewIntervall, this, &PluginWindows::intervalChanged);
    connect(dialog, &PConfigDialog::sendNewOptions, plugin, &PRSSFeedPlugin::newOptions);
    connect(dialog, &PConfigDialog::sendShowFeed, plugin, &PRSSFeedPlugin::showFeed);
    connect(dialog, &PConfigDialog::sendShowFeed, plugin, &PRSSFeedPlugin::renameFeed);
    connect(dialog, &PConfigDialog::sendNewItemCount, this, [this] {
        if (m_viewer)
            m_viewer->newItemCount();
    });
    if (fromClient || !m_viewer) {
        PDesktop::setCentered(dialog);
    } else {
        const QPoint centre = m_viewer->geometry().center();
        dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
    }
    sendWindowActivate(dialog);
    dialog->exec();
    delete m_settingsDialog.data();
}

PluginWindows::ClearFeedAnswer PluginWindows::askClearFeed(
    const QString &source, bool subscribed, bool fromViewer)
{
    QWidget *parent = fromViewer ? m_viewer.data() : nullptr;
    const QString title = tr("Delete News");
    if (!subscribed) {
        return PMessageBox::question(parent, title, tr("Should all saved messages be deleted?"))
                == 1
            ? DeleteNews
            : KeepFeed;
    }
    if (PMessageBox::question(
            parent, title, tr("I do not want to receive any further messages from %1.").arg(source))
        != 1)
        return KeepFeed;
    switch (PMessageBox::question(parent, title, tr("Should all saved messages be deleted?"))) {
    case 1:
        return DeleteNews;
    case 0:
        return Unsubscribe;
    default:
        return KeepFeed;
    }
}

void PluginWindows::showNewItems(int id, bool changed)
{
    if (m_viewer)
        m_viewer->slotNewItems(id, changed);
}

void PluginWindows::updateFeed(int id)
{
    if (m_viewer)
        m_viewer->update(id);
}

void PluginWindows::forgetFeed(int id)
{
    if (m_viewer)
        m_viewer->forgetFeed(id);
}

void PluginWindows::addFolder(int folder)
{
    if (m_viewer)
        m_viewer->feedsTree()->feedModel()->addFolder(folder);
}
