#include "prssfeedview.h"
#include "itemcommands.h"
#include "pbrowserframe.h"
#include "updateprogress.h"
#include "viewermenus.h"
#include "welcomepage.h"

#include "core/rsssettings.h"
#include "dialogs/feedpropertiesdialog.h"
#include "dialogs/pcleanpage1.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdesktop.h"
#include "host/pdir.h"
#include "host/psearchfield.h"
#include "host/pstatusbar.h"
#include "tree/feedmodel.h"
#include "tree/pfeedsearchtree.h"
#include "tree/pfeedstree.h"
#include "wizard/panimationlabel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QRectF>
#include <QSplitter>
#include <QSqlQuery>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

PRSSFeedView::PRSSFeedView(QSqlDatabase *db, QWidget *parent) : PWindow(parent), m_db(db)
{
    writePageScript();
    setAttribute(Qt::WA_DeleteOnClose);

    QWidget *left = buildLeftPanel();
    QWidget *right = buildRightPanel();

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setSizes({250, 500});
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    setWidget(splitter);
    m_items = new ItemCommands(m_db, myTree, m_browser, this);

    // Delete News follows the tree's selection; the menus hold the other entries.
    m_deleteNewsAction = new QAction(this);
    m_deleteNewsAction->setObjectName(QStringLiteral("deleteNewsAction"));
    m_deleteNewsAction->setEnabled(false);
    m_menus = new ViewerMenus(this, menuBar(), m_deleteNewsAction);

    statusBar()->setMinimumSize(0, 20);
    statusBar()->setMaximumSize(16777215, 20);
    m_updateProgress = new UpdateProgress(statusBar());
    retranslate();
    restoreWindowGeometry();
    showWelcomeWhileEmpty();

    connect(myTree, &PFeedsTree::sendSaveGroups, this, &PRSSFeedView::sendSaveGroups);
    connect(myTree, &PFeedsTree::sendRenameFeed, this, &PRSSFeedView::sendRenameFeed);
    connect(mySearchTree, &PFeedSearchTree::sendLink, this,
        qOverload<const QString &>(&PRSSFeedView::newUrl));
    connect(mySearchTree, &PFeedSearchTree::sendOverview, this, &PRSSFeedView::getOverview);
    // The search runs a quarter second after typing pauses; each keystroke starts the
    // wait again, so a word typed fast is searched once.
    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(250);
    connect(m_searchTimer, &QTimer::timeout, mySearchTree,
        [this] { mySearchTree->setFilter(m_searchField->text()); });
    connect(m_searchField, &QLineEdit::textChanged, this, &PRSSFeedView::lineChanged);
    connect(m_subscribeButton, &QToolButton::clicked, this, &PRSSFeedView::aboChannel);
    connect(m_subscribeButton, &QToolButton::clicked, m_searchField, &QLineEdit::clear);
    connect(m_syncButton, &QToolButton::clicked, this, &PRSSFeedView::updateAllChannel);
    connect(m_browser, &PBrowserFrame::CommandStateChange, this, &PRSSFeedView::CommandStateChange);
    connect(m_browser, &PBrowserFrame::NavigateComplete, this, &PRSSFeedView::NavigateComplete);
    connect(m_browser, &PBrowserFrame::DownloadBegin, this, &PRSSFeedView::canStop);
    connect(m_browser, &PBrowserFrame::DownloadComplete, this, &PRSSFeedView::canNotStop);
    connect(m_browser, &PBrowserFrame::update, myTree, &PFeedsTree::update);
    connect(
        m_browser, &PBrowserFrame::sendItemStateChanged, this, &PRSSFeedView::sendItemStateChanged);
    connect(m_overviewAction, &QAction::triggered, this, &PRSSFeedView::overviewPage);
    connect(m_backAction, &QAction::triggered, m_browser, &PBrowserFrame::GoBack);
    connect(m_forwardAction, &QAction::triggered, m_browser, &PBrowserFrame::GoForward);
    connect(m_favoriteAction, &QAction::triggered, this, &PRSSFeedView::favorit);
    connect(m_stopAction, &QAction::triggered, m_browser, &PBrowserFrame::Stop);
    connect(m_browser, &PBrowserFrame::DownloadBegin, m_animation, &PAnimationLabel::start);
    connect(m_browser, &PBrowserFrame::DownloadComplete, m_animation, &PAnimationLabel::stop);
    connect(m_addressBox, &QComboBox::activated, this, qOverload<int>(&PRSSFeedView::newUrl));
    connect(m_menus->closeAction(), &QAction::triggered, this, &QWidget::close);
    connect(m_menus->subscribeAction(), &QAction::triggered, this, &PRSSFeedView::aboChannel);
    connect(m_deleteNewsAction, &QAction::triggered, this, &PRSSFeedView::pressLoe);
    connect(
        m_menus->updateNewsAction(), &QAction::triggered, this, &PRSSFeedView::updateAllChannel);
    connect(myTree, &PFeedsTree::sendLink, this, &PRSSFeedView::linkFromTree);
    connect(myTree, &PFeedsTree::sendUpdate, this, &PRSSFeedView::updateChannel);
    connect(myTree, &PFeedsTree::clearFeed, this, &PRSSFeedView::getClearFeed);
    connect(myTree, &PFeedsTree::sendSource, this, &PRSSFeedView::getNewSource);
    connect(myTree, &PFeedsTree::sendStartCleanWizard, this, &PRSSFeedView::startCleanWizard);
    connect(myTree, &PFeedsTree::sendNewPage, this, &PRSSFeedView::getNewPage);
    connect(myTree, &PFeedsTree::sendOverview, this, &PRSSFeedView::getOverview);
    connect(myTree, &PFeedsTree::sendStartUpdate, this, &PRSSFeedView::startUpdate);
    connect(m_menus->optionsAction(), &QAction::triggered, this, &PRSSFeedView::sendOptions);

    connect(
        m_menus->importAction(), &QAction::triggered, this, &PRSSFeedView::sendImportSubscriptions);
    connect(
        m_menus->exportAction(), &QAction::triggered, this, &PRSSFeedView::sendExportSubscriptions);
    connect(m_items, &ItemCommands::itemStateChanged, this, &PRSSFeedView::sendItemStateChanged);
    connect(myTree, &PFeedsTree::sendMarkFeedRead, m_items, &ItemCommands::markFeedRead);
    connect(myTree, &PFeedsTree::sendMarkFolderRead, m_items, &ItemCommands::markFolderRead);
    connect(myTree, &PFeedsTree::sendMarkAllRead, m_items, &ItemCommands::markAllRead);
    connect(myTree, &PFeedsTree::sendOpenExternally, this, &ItemCommands::openExternally);
    connect(myTree, &PFeedsTree::sendShowProperties, this, &PRSSFeedView::showProperties);
    connect(m_browser, &PBrowserFrame::sendOpenExternally, this, &ItemCommands::openExternally);
    connect(
        m_menus->markReadAction(), &QAction::triggered, m_items, &ItemCommands::markSelectionRead);
    connect(m_menus->markAllReadAction(), &QAction::triggered, m_items, &ItemCommands::markAllRead);
    connect(m_menus->nextItemAction(), &QAction::triggered, myTree, &PFeedsTree::selectNextItem);
    connect(m_menus->previousItemAction(), &QAction::triggered, myTree,
        &PFeedsTree::selectPreviousItem);
    connect(m_menus->nextUnreadAction(), &QAction::triggered, myTree,
        &PFeedsTree::selectNextUnreadFeed);
    connect(
        m_menus->toggleReadAction(), &QAction::triggered, m_items, &ItemCommands::toggleItemRead);
    connect(
        m_menus->toggleFlagAction(), &QAction::triggered, m_items, &ItemCommands::toggleItemFlag);
    connect(m_menus->openBrowserAction(), &QAction::triggered, this, &PRSSFeedView::openInBrowser);
    connect(m_menus->searchAction(), &QAction::triggered, m_searchField, [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });
}

QWidget *PRSSFeedView::buildLeftPanel()
{
    auto *left = new QWidget(this);
    auto *outer = new QVBoxLayout(left);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *inner = new QVBoxLayout;
    inner->setSpacing(5);
    inner->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(inner);

    m_searchField = new PSearchField(left);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    inner->addWidget(m_searchField);

    m_stack = new QStackedLayout;
    myTree = new PFeedsTree(m_db, this);
    myTree->setObjectName(QStringLiteral("myTree"));
    mySearchTree = new PFeedSearchTree(m_db, this);
    mySearchTree->setObjectName(QStringLiteral("mySearchTree"));
    m_treeIndex = m_stack->addWidget(myTree);
    m_searchIndex = m_stack->addWidget(mySearchTree);
    inner->addLayout(m_stack);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    m_subscribeButton = new QToolButton(left);
    m_subscribeButton->setObjectName(QStringLiteral("subscribeButton"));
    m_subscribeButton->setIcon(QIcon(QStringLiteral(":/subscribe-24")));
    m_subscribeButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_syncButton = new QToolButton(left);
    m_syncButton->setObjectName(QStringLiteral("syncButton"));
    m_syncButton->setIcon(QIcon(QStringLiteral(":/sync-16")));
    m_syncButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    row->addWidget(m_subscribeButton);
    row->addStretch();
    row->addWidget(m_syncButton);
    inner->addLayout(row);
    inner->addSpacing(5);
    return left;
}

QWidget *PRSSFeedView::buildRightPanel()
{
    auto *right = new QWidget(this);
    auto *layout = new QVBoxLayout(right);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *toolBar = new QToolBar(right);
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Maximum);
    toolBar->setFixedHeight(43);
    layout->addWidget(toolBar);

    m_pagePane = new QStackedWidget(right);
    m_browser = new PBrowserFrame(m_db, m_pagePane);
    m_browser->setObjectName(QStringLiteral("browser"));
    m_browser->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pagePane->addWidget(m_browser);

    // A first start has no feeds and so no pages: the pane says how to get some.
    auto *welcome = new WelcomePage(m_pagePane);
    connect(welcome, &WelcomePage::subscribeClicked, this, &PRSSFeedView::aboChannel);
    m_welcome = welcome;
    m_pagePane->addWidget(m_welcome);
    layout->addWidget(m_pagePane);

    const auto addAction = [toolBar](const char *name, const char *icon) {
        QAction *action = toolBar->addAction(QIcon(QLatin1String(icon)), QString());
        action->setObjectName(QLatin1String(name));
        action->setEnabled(false);
        return action;
    };
    m_overviewAction = addAction("overviewAction", ":/overview-32");
    m_backAction = addAction("backAction", ":/back-32");
    m_forwardAction = addAction("forwardAction", ":/forward-32");
    m_favoriteAction = addAction("favoriteAction", ":/fav-32");
    m_stopAction = addAction("stopAction", ":/stop-32");

    m_addressBox = new QComboBox(toolBar);
    m_addressBox->setObjectName(QStringLiteral("addressBox"));
    m_addressBox->setEditable(true);
    m_addressBox->setInsertPolicy(QComboBox::InsertAlphabetically);
    m_addressBox->setDuplicatesEnabled(false);
    m_addressBox->setFixedHeight(22);
    m_addressBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toolBar->addWidget(m_addressBox);

    m_animation = new PAnimationLabel(toolBar);
    m_animation->setObjectName(QStringLiteral("animationLabel"));
    toolBar->addWidget(m_animation);
    return right;
}

void PRSSFeedView::retranslate()
{
    m_subscribeButton->setText(tr("Subscribe to News"));
    m_syncButton->setText(tr("Synchronize"));
    m_syncButton->setToolTip(tr("Synchronize"));
    m_overviewAction->setText(tr("Overview"));
    m_backAction->setText(tr("Back"));
    m_forwardAction->setText(tr("Forward"));
    m_favoriteAction->setText(tr("Favorite"));
    m_stopAction->setText(tr("Stop"));
    m_deleteNewsAction->setText(tr("&Delete News"));
    m_menus->retranslate();
    setWindowTitle(tr("pellix News-Viewer"));
}

bool PRSSFeedView::isShowingWelcome() const
{
    return m_pagePane->currentWidget() == m_welcome;
}

void PRSSFeedView::showWelcomeWhileEmpty()
{
    QSqlQuery query(*m_db);
    const bool empty = query.exec(QStringLiteral("select count(*) from feeds")) && query.next()
        && query.value(0).toInt() == 0;
    m_pagePane->setCurrentWidget(empty ? m_welcome : static_cast<QWidget *>(m_browser));
}

void PRSSFeedView::restoreWindowGeometry()
{
    const QVariant geometry = RssSettings::value(RssSettings::Geometry);
    if (geometry.isValid() && restoreGeometry(geometry.toByteArray()))
        return;
    resize(700, 600);
    PDesktop::setCentered(this);
}

void PRSSFeedView::writePageScript()
{
    QByteArray script;
    QFile resource(QStringLiteral(":/rss"));
    if (resource.open(QIODevice::ReadOnly))
        script = resource.readAll();
    // The pages write these words translated in context "QObject"; the script
    // compares the items' alternative texts with them, so it must use the same.
    for (const char *word : {"Mark", "Unmark", "Toggle Read", "Toggle Unread"})
        script.replace(word, QCoreApplication::translate("QObject", word).toUtf8());

    QFile file(QDir(PDir::applicationDataPath(true)).filePath(QStringLiteral("rss.js")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(script);
}

QString PRSSFeedView::viewerDirectory()
{
    return QDir::toNativeSeparators(PDir::applicationDataPath(true));
}

bool PRSSFeedView::isSearching() const
{
    return m_stack->currentIndex() == m_searchIndex;
}

void PRSSFeedView::openItem(int channelId, int itemId)
{
    myTree->selectFeed(channelId);
    if (channelId == -1 || itemId == -1)
        return;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select link from items where itemid = ") + QString::number(itemId)
        + QStringLiteral(" and channelid = ") + QString::number(channelId));
    while (query.next())
        m_browser->Navigate(query.value(0).toString());
}

void PRSSFeedView::forgetFeed(int id)
{
    myTree->forgetFeed(id);
}

void PRSSFeedView::CommandStateChange(int cmd, bool on)
{
    if (cmd == 1)
        m_forwardAction->setEnabled(on);
    else if (cmd == 2)
        m_backAction->setEnabled(on);
}

void PRSSFeedView::canStop()
{
    m_stopAction->setEnabled(true);
}

void PRSSFeedView::canNotStop()
{
    m_stopAction->setEnabled(false);
}

void PRSSFeedView::getOverview(const QString &url)
{
    m_overviewUrl = url;
    m_overviewAction->setEnabled(!url.isEmpty());
}

void PRSSFeedView::overviewPage()
{
    m_browser->Navigate(m_overviewUrl);
}

void PRSSFeedView::getNewSource(const QString &source)
{
    m_source = source;
    m_deleteNewsAction->setEnabled(!source.isEmpty());
}

void PRSSFeedView::linkFromTree(const QString &url)
{
    if (url.isEmpty())
        return;
    m_overviewAction->setEnabled(true);
    if (url != m_currentUrl)
        m_browser->Navigate(url);
}

void PRSSFeedView::newUrl(int index)
{
    m_browser->Navigate(m_addressBox->itemText(index));
}

void PRSSFeedView::newUrl(const QString &url)
{
    m_browser->Navigate(url);
}

void PRSSFeedView::update(int id)
{
    myTree->update(id);
}

void PRSSFeedView::newItemCount()
{
    myTree->refreshAll();
}

void PRSSFeedView::aboChannel()
{
    emit sendAboChannel();
}

void PRSSFeedView::pressLoe()
{
    emit clearFeed(m_source, true);
}

void PRSSFeedView::getClearFeed(const QString &source)
{
    emit clearFeed(source, true);
}

void PRSSFeedView::NavigateComplete(const QString &url)
{
    m_currentUrl = url;
    if (url != QLatin1String("about:blank"))
        m_pagePane->setCurrentWidget(m_browser);
    const bool local = url.toLower().contains(viewerDirectory().toLower());
    if (local || url == QLatin1String("about:blank")) {
        m_favoriteAction->setEnabled(false);
        m_addressBox->setEditText(QString());
        return;
    }

    int index = m_addressBox->findText(url, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        m_addressBox->addItem(url);
        index = m_addressBox->count() - 1;
    }
    m_addressBox->setCurrentIndex(index);

    // Opening an item's web page reads every stored item with that link.
    m_favoriteAction->setEnabled(m_items->readLink(url));
}

void PRSSFeedView::favorit()
{
    m_items->flagLink(m_currentUrl);
}

void PRSSFeedView::getNewPage(int id)
{
    const QString user = QString::number(CPxBuddy_Administrator::Instance().userId());
    const QString namePrefix
        = user + QStringLiteral("_channel") + QString::number(id) + QLatin1Char('_');
    const QString directory = viewerDirectory();
    const QString prefix = directory.toLower() + QDir::separator() + namePrefix;
    if (!m_currentUrl.toLower().contains(prefix))
        return;

    const QString fileName = m_currentUrl.mid(m_currentUrl.lastIndexOf(QDir::separator()) + 1);
    const QStringList pages = QDir(PDir::applicationDataPath(true))
                                  .entryList({namePrefix + QStringLiteral("*.html")}, QDir::Files);
    if (pages.isEmpty()) {
        m_browser->Navigate(QStringLiteral("about:blank"));
        return;
    }
    if (pages.contains(fileName)) {
        m_browser->Navigate(m_currentUrl);
        return;
    }
    // The page shown is gone: show the nearest earlier one that is left.
    QString number = fileName;
    number.remove(namePrefix);
    number.remove(QStringLiteral(".html"));
    for (int p = number.toInt() - 1; p >= 1; --p) {
        const QString candidate = namePrefix + QString::number(p) + QStringLiteral(".html");
        if (pages.contains(candidate)) {
            m_browser->Navigate(directory + QDir::separator() + candidate);
            return;
        }
    }
}

void PRSSFeedView::lineChanged(const QString &text)
{
    if (text.size() >= 3) {
        if (m_stack->currentIndex() == m_treeIndex) {
            const QModelIndex index = myTree->currentIndex();
            if (!index.isValid())
                mySearchTree->clearScope();
            else if (FeedModel::isFolderIndex(index))
                mySearchTree->setFolderScope(myTree->folderIdOf(index));
            else
                mySearchTree->setFeedScope(myTree->feedIdOf(index));
            m_stack->setCurrentIndex(m_searchIndex);
            m_deleteNewsAction->setEnabled(false);
        }
        m_searchTimer->start();
        return;
    }
    m_searchTimer->stop();
    if (m_stack->currentIndex() == m_searchIndex) {
        m_stack->setCurrentIndex(m_treeIndex);
        m_deleteNewsAction->setEnabled(!m_source.isEmpty());
        mySearchTree->clear();
    }
}

void PRSSFeedView::updateAllChannel()
{
    m_updateProgress->startRun(myTree->countToLoad(), myTree->idsToLoad());
    emit sendUpdateAll();
}

void PRSSFeedView::startUpdate(int id)
{
    m_updateProgress->startFeed(id);
    emit sendStartUpdate(id);
}

void PRSSFeedView::updateChannel(int id)
{
    m_updateProgress->startFeed(id);
    emit sendUpdate(id);
}

void PRSSFeedView::slotNewItems(int id, bool changed)
{
    if (changed) {
        myTree->update(id);
        m_browser->clearPendingFor(id);
        showWelcomeWhileEmpty();
    }
    myTree->feedModel()->updateHealth(id);
    m_updateProgress->feedEnded(id, myTree->feedModel()->hasFailed(id));
}

void PRSSFeedView::openInBrowser()
{
    // A web page shown in the viewer; not one of the viewer's own.
    const bool webPage = !m_currentUrl.isEmpty()
        && !m_currentUrl.toLower().contains(viewerDirectory().toLower())
        && m_currentUrl != QLatin1String("about:blank");
    m_items->openInBrowser(webPage ? m_currentUrl : QString());
}

void PRSSFeedView::showProperties(int id)
{
    FeedPropertiesDialog dialog(m_db, id, this);
    dialog.exec();
}

void PRSSFeedView::startCleanWizard(int id)
{
    PCleanPage1 page(m_db, id, this);
    connect(&page, &PCleanPage1::cleanChannel, this, &PRSSFeedView::sendChangeFeeds);
    const QPoint centre = QRectF(geometry()).center().toPoint();
    page.move(centre.x() - page.width() / 2, centre.y() - page.height() / 2);
    page.exec();
}

bool PRSSFeedView::event(QEvent *e)
{
    // Link targets and menu hints that nobody below took end up here.
    if (e->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent *>(e)->tip();
        statusBar()->showMessage(tip.isEmpty() ? m_updateProgress->message() : tip);
        return true;
    }
    return PWindow::event(e);
}

void PRSSFeedView::closeEvent(QCloseEvent *e)
{
    RssSettings::setValue(RssSettings::Geometry, saveGeometry());
    PWindow::closeEvent(e);
}

void PRSSFeedView::keyPressEvent(QKeyEvent *e)
{
    // Only an Escape nobody else took: a menu, popup or dialog closes itself on
    // the press and the viewer sees at most the release.
    if (e->key() == Qt::Key_Escape && !QApplication::activePopupWidget()
        && !QApplication::activeModalWidget()) {
        e->accept();
        close();
        return;
    }
    PWindow::keyPressEvent(e);
}

void PRSSFeedView::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::LanguageChange) {
        retranslate();
        writePageScript();
        // The pages carry the words the script compares with: old pages would
        // toggle nothing, so they are written again and the one shown reloaded.
        myTree->feedModel()->rewriteAllPages();
    }
    PWindow::changeEvent(e);
}
