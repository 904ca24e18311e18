#include "tree/feedmodel.h"
#include "tree/pfeedstree.h"

#include "host/request.h"
#include "modelwatch.h"
#include "recordingrouter.h"
#include "scripteddialogs.h"
#include "testhelpers.h"
#include "treefixture.h"

#include <QAction>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

// The feed tree over:
//   folder 1 "My Feeds": favourites, feed 1 "Tech" (3 items), feed 2 "Paused" (not loaded)
//   folder 2 "Spare":    empty
//   folder 3 "Full":     feed 3 "World"
// or only folder 1 (and 2) where a test asks for fewer folders.
class tst_FeedsTree : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void contextMenus_data();
    void contextMenus();
    void menuRequests_data();
    void menuRequests();
    void clicksAndNavigation();
    void activationToggles();
    void moveNews_data();
    void moveNews();
    void loadNewsAgainAndDelete();
    void namesAreStoredAsTyped();
    void expansionIsStoredAndRestored();
    void selectFeed();

private:
    void build(int folders = 3);
    // Rows follow the database's order, which need not be that of the ids.
    QModelIndex folder(int id) const;
    QModelIndex feed(int id) const
    {
        return m_model
            ->match(
                m_model->index(0, 0), Qt::UserRole, id, 1, Qt::MatchRecursive | Qt::MatchExactly)
            .value(0);
    }
    QModelIndex item(int feedId, int row) const { return m_model->index(row, 0, feed(feedId)); }
    QPoint centreOf(const QModelIndex &index);
    QPoint emptySpace() const { return QPoint(10, m_tree->viewport()->height() - 5); }
    void press(Qt::MouseButton button, const QPoint &pos);
    // "folder n", "feed n", "item" (feed 1's first) or else empty space.
    QPoint pointAt(const QString &target);
    QStringList menu() const;
    QVariant value(const QString &sql) { return m_db->value(sql); }

    std::unique_ptr<TreeFixture> m_db;
    std::unique_ptr<RecordingRouter> m_router;
    std::unique_ptr<PFeedsTree> m_tree;
    FeedModel *m_model = nullptr;
    std::unique_ptr<ModelWatch> m_watch;
    // Every signal of the tree as "name argument", in order.
    QStringList m_log;
};

void tst_FeedsTree::init()
{
    m_db = std::make_unique<TreeFixture>();
    QVERIFY(m_db->opened);
    m_router = std::make_unique<RecordingRouter>();
    m_log.clear();
}

void tst_FeedsTree::cleanup()
{
    ScriptedInputDialog::clearScript();
    const QStringList modelFailures = ModelWatch::failures();
    m_watch.reset();
    m_tree.reset();
    m_router.reset();
    m_db.reset();
    // Every edit through the tree kept the model consistent.
    QVERIFY2(modelFailures.isEmpty(), qPrintable(modelFailures.join(u'\n')));
}

void tst_FeedsTree::build(int folders)
{
    m_db->addFeed(1, 1, QStringLiteral("Tech"));
    m_db->addFeed(2, 1, QStringLiteral("Paused"), 0);
    for (int i = 1; i <= 3; ++i)
        m_db->addItem({1, i, QStringLiteral("Tech %1").arg(i), QStringLiteral("d")});
    m_db->addItem({2, 1, QStringLiteral("Paused 1"), QStringLiteral("d")});
    if (folders >= 2)
        m_db->addFolder(2, QStringLiteral("Spare"));
    if (folders >= 3) {
        m_db->addFolder(3, QStringLiteral("Full"));
        m_db->addFeed(3, 3, QStringLiteral("World"));
        m_db->exec(QStringLiteral("update feeds set link = null where id = 3"));
        m_db->addItem({3, 1, QStringLiteral("World 1"), QStringLiteral("d")});
    }
    m_watch.reset();
    m_tree = std::make_unique<PFeedsTree>(&m_db->db);
    m_model = m_tree->feedModel();
    m_watch = std::make_unique<ModelWatch>(m_model);

    PFeedsTree *tree = m_tree.get();
    const auto log = [this](const char *name) {
        return [this, name](const QVariant &v = QVariant()) {
            m_log.append(v.isValid() ? QLatin1String(name) + ' ' + v.toString() : name);
        };
    };
    connect(tree, &PFeedsTree::clearFeed, this, log("clearFeed"));
    connect(tree, &PFeedsTree::sendLink, this, log("link"));
    connect(tree, &PFeedsTree::sendNewPage, this, log("newPage"));
    connect(tree, &PFeedsTree::sendOverview, this, log("overview"));
    connect(tree, &PFeedsTree::sendRenameFeed, this, log("rename"));
    connect(tree, &PFeedsTree::sendSaveGroups, this, log("save"));
    connect(tree, &PFeedsTree::sendSource, this, log("source"));
    connect(tree, &PFeedsTree::sendStartCleanWizard, this, log("clean"));
    connect(tree, &PFeedsTree::sendStartUpdate, this, log("start"));
    connect(tree, &PFeedsTree::sendUpdate, this, log("update"));
    connect(tree, &PFeedsTree::sendMarkFeedRead, this, log("markFeed"));
    connect(tree, &PFeedsTree::sendMarkFolderRead, this, log("markFolder"));
    connect(tree, &PFeedsTree::sendMarkAllRead, this, log("markAll"));
    connect(tree, &PFeedsTree::sendOpenExternally, this, log("external"));
    connect(tree, &PFeedsTree::sendShowProperties, this, log("properties"));

    m_tree->resize(300, 500);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree.get()));
    // Taking the focus made a first node current.
    m_log.clear();
}

QModelIndex tst_FeedsTree::folder(int id) const
{
    for (int r = 0; r < m_model->rowCount(); ++r)
        if (m_model->folderIdAt(r) == id)
            return m_model->index(r, 0);
    return QModelIndex();
}

QPoint tst_FeedsTree::centreOf(const QModelIndex &index)
{
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        m_tree->expand(parent);
    return m_tree->visualRect(index).center();
}

QPoint tst_FeedsTree::pointAt(const QString &target)
{
    const int id = target.section(' ', 1).toInt();
    if (target.startsWith(QLatin1String("folder")))
        return centreOf(folder(id));
    if (target.startsWith(QLatin1String("feed")))
        return centreOf(feed(id));
    return target == QLatin1String("item") ? centreOf(item(1, 0)) : emptySpace();
}

void tst_FeedsTree::press(Qt::MouseButton button, const QPoint &pos)
{
    QTest::mousePress(m_tree->viewport(), button, {}, pos);
    QTest::mouseRelease(m_tree->viewport(), button, {}, pos);
}

QStringList tst_FeedsTree::menu() const
{
    QStringList texts;
    for (const QAction *action : m_tree->actions())
        texts.append(action->text());
    return texts;
}

// The entries of the context menu on each kind of node, by number of folders.
void tst_FeedsTree::contextMenus_data()
{
    TestHelpers::addRows(
        QStringLiteral("cases/context-menus.txt"), {"folders", "target", "entries"});
}

void tst_FeedsTree::contextMenus()
{
    QFETCH(QString, folders);
    QFETCH(QString, target);
    QFETCH(QString, entries);
    build(folders.toInt());

    QStringList menus;
    const QPoint pos = pointAt(target);

    // Built again on each press: nothing piles up, and empty space starts over.
    for (const QPoint &at : {pos, pos, emptySpace()}) {
        press(Qt::RightButton, at);
        menus << menu().join(u'|');
    }
    QCOMPARE(menus,
        (QStringList{
            entries, entries, "Clean News|New Folder|Clear Selection|Mark Everything Read"}));
}

void tst_FeedsTree::menuRequests_data()
{
    TestHelpers::addRows(QStringLiteral("cases/menu-requests.txt"), {"target", "entry", "request"});
}

// Each entry asks the viewer for its work on the node that was clicked.
void tst_FeedsTree::menuRequests()
{
    QFETCH(QString, target);
    QFETCH(QString, entry);
    QFETCH(QString, request);
    build();
    press(Qt::RightButton, pointAt(target));
    m_log.clear();
    const QList<QAction *> actions = m_tree->actions();
    const auto found = std::find_if(actions.begin(), actions.end(),
        [&](const QAction *action) { return action->text() == entry; });
    QVERIFY(found != actions.end());
    (*found)->trigger();
    QCOMPARE(m_log, QStringList{request});
}

void tst_FeedsTree::clicksAndNavigation()
{
    build();
    // A right click selects a feed and shows its overview but does not navigate...
    press(Qt::RightButton, centreOf(feed(1)));
    QCOMPARE(m_tree->currentIndex(), feed(1));
    QCOMPARE(
        m_log, (QStringList{"overview " + m_db->page(1), "source http://example.org/feed1.xml"}));
    m_log.clear();
    // ...only that one change is kept quiet...
    press(Qt::LeftButton, centreOf(item(1, 1)));
    QCOMPARE(m_log.filter("link"), QStringList{"link http://example.org/1/2"});
    // ...and clicking the shown node again reloads it, except for a folder.
    press(Qt::LeftButton, centreOf(item(1, 1)));
    press(Qt::LeftButton, centreOf(folder(3)));
    press(Qt::LeftButton, centreOf(folder(3)));
    QCOMPARE(m_log.filter("link").size(), 2);

    // Each change names the page to show, the link to open and the feed's source.
    m_log.clear();
    const QString page3 = m_db->page(3);
    m_tree->setCurrentIndex(item(3, 0));
    m_tree->setCurrentIndex(feed(3));
    m_tree->setCurrentIndex(folder(3));
    m_tree->pressClearSelection();
    QVERIFY(!m_tree->currentIndex().isValid());
    // The favourites entry without flagged items shows a blank page.
    m_tree->setCurrentIndex(feed(0));
    QCOMPARE(m_log,
        (QStringList{"overview " + page3, "link http://example.org/3/1", "source ",
            "overview " + page3, "link " + page3, "source http://example.org/feed3.xml",
            "overview ", "source ", "source ", "overview about:blank", "link about:blank",
            "source "}));
}

void tst_FeedsTree::activationToggles()
{
    build();
    const QModelIndex full = folder(3);
    emit m_tree->activated(full);
    QVERIFY(m_tree->isExpanded(full));
    // The activation that comes with a right-button press leaves the node as it is.
    press(Qt::RightButton, centreOf(full));
    emit m_tree->activated(full);
    QVERIFY(m_tree->isExpanded(full));
    emit m_tree->activated(full);
    QVERIFY(!m_tree->isExpanded(full));

    // A double click toggles once.
    const QPoint pos = centreOf(full);
    press(Qt::LeftButton, pos);
    QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QVERIFY(m_tree->isExpanded(full));
}

void tst_FeedsTree::moveNews_data()
{
    QTest::addColumn<int>("folders");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("target");

    QTest::newRow("two folders: no question") << 2 << false << 2;
    QTest::newRow("three folders: chosen") << 3 << true << 3;
    QTest::newRow("three folders: cancelled") << 3 << false << 1;
}

void tst_FeedsTree::moveNews()
{
    QFETCH(int, folders);
    QFETCH(bool, ok);
    QFETCH(int, target);
    build(folders);
    ScriptedInputDialog::scriptAnswers({{QStringLiteral("Full"), ok}});

    press(Qt::RightButton, centreOf(feed(1)));
    m_log.clear();
    m_tree->pressMoveChannel();

    const QList<ScriptedInputDialog::Asked> asked = ScriptedInputDialog::asked();
    QCOMPARE(asked.size(), folders == 2 ? 0 : 1);
    if (!asked.isEmpty()) {
        QCOMPARE(asked.at(0).title, QStringLiteral("Target Folder"));
        QCOMPARE(asked.at(0).label, QStringLiteral("Title:"));
        QStringList titles = asked.at(0).items;
        titles.sort();
        QCOMPARE(titles, (QStringList{"Full", "Spare"}));
    }
    QCOMPARE(value("select folderid from feeds where id = 1").toInt(), target);
    QCOMPARE(feed(1).parent(), folder(target));
    if (target != 1)
        QCOMPARE(
            m_log.filter(QRegularExpression("newPage|save")), (QStringList{"newPage 1", "save"}));
    else
        QVERIFY(m_log.isEmpty());
}

void tst_FeedsTree::loadNewsAgainAndDelete()
{
    build();
    press(Qt::RightButton, centreOf(feed(2)));
    m_tree->actions().at(menu().indexOf("Load News Again"))->trigger();
    QCOMPARE(value("select toload from feeds where id = 2").toInt(), 1);
    QCOMPARE(m_log.mid(2), (QStringList{"start 2", "rename 2"}));

    // Deleting asks the plug-in to unsubscribe; the node goes when it is told to forget it.
    m_log.clear();
    m_tree->pressClearChannel();
    QCOMPARE(m_log, QStringList{"clearFeed http://example.org/feed2.xml"});
    QVERIFY(feed(2).isValid());
    m_tree->forgetFeed(2);
    QVERIFY(!feed(2).isValid());
}

void tst_FeedsTree::namesAreStoredAsTyped()
{
    build();
    const QString name = QString::fromUtf8("Nüe '); drop table folder; -- \"日本\"");
    ScriptedInputDialog::scriptAnswers(
        {{name, true}, {QString(""), true}, {name, true}, {name, false}, {QString(), true},
            {QStringLiteral("Renamed"), true}, {QStringLiteral("x"), false}, {QString(""), true}});

    // New folders take the next id; an empty name is a folder without a name.
    m_tree->pressNewFolder();
    m_tree->pressNewFolder();
    QCOMPARE(ScriptedInputDialog::asked().at(0).title, QStringLiteral("Rename Folder"));
    QCOMPARE(ScriptedInputDialog::asked().at(0).label, QStringLiteral("New Folder Name"));
    QCOMPARE(value("select title from folder where id = 4").toString(), name);
    QCOMPARE(m_model->titleAt(folder(4)), name);
    QCOMPARE(value("select title from folder where id = 5").toString(), QString());
    // Titles are unique: a taken one adds nothing, and neither does a cancelled dialog.
    m_tree->pressNewFolder();
    m_tree->pressNewFolder();
    QCOMPARE(m_model->rowCount(), 5);
    QCOMPARE(value("select count(*) from folder").toInt(), 5);
    QCOMPARE(m_log, (QStringList{"save", "save"}));

    // Renaming to nothing is refused.
    press(Qt::RightButton, centreOf(folder(2)));
    m_log.clear();
    m_tree->pressRenameFolder();
    m_tree->pressRenameFolder();
    QCOMPARE(ScriptedInputDialog::asked().at(4).text, QStringLiteral("Spare"));
    QCOMPARE(value("select title from folder where id = 2").toString(), QStringLiteral("Renamed"));
    // The default folder's title follows a language switch: the tree reads it again.
    m_db->exec(QStringLiteral("update folder set title = 'Meine Feeds' where id = 1"));
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(m_tree.get(), &languageChange);
    QCOMPARE(m_model->titleAt(folder(1)), QStringLiteral("Meine Feeds"));

    // Only an empty folder can go.
    press(Qt::RightButton, centreOf(folder(2)));
    QVERIFY(menu().contains(QStringLiteral("Delete Folder")));
    m_tree->pressClearFolder();
    QCOMPARE(value("select count(*) from folder where id = 2").toInt(), 0);
    QVERIFY(!folder(2).isValid() && folder(3).isValid());
    // Removing the current folder makes a neighbour current before the groups are saved.
    QCOMPARE(m_log, (QStringList{"save", "overview ", "source ", "save"}));

    // A feed keeps its title when the dialog is cancelled; an empty one is stored as
    // such, not as NULL (the pages then show the address).
    const auto title = [this] { return value("select channeltitle from feeds where id = 1"); };
    press(Qt::RightButton, centreOf(feed(1)));
    m_log.clear();
    m_tree->pressRenameChannel();
    QCOMPARE(title().toString(), QStringLiteral("Tech"));
    m_tree->pressRenameChannel();
    const ScriptedInputDialog::Asked asked = ScriptedInputDialog::asked().at(6);
    QCOMPARE((QStringList{asked.title, asked.label, asked.text}),
        (QStringList{"Rename News", "New Newsname", "Tech"}));
    QVERIFY(!title().isNull() && title().toString().isEmpty());
    QCOMPARE(m_log, QStringList{"rename 1"});
}

void tst_FeedsTree::expansionIsStoredAndRestored()
{
    build();
    const auto expand = [this](const char *table, int id) {
        return value(QStringLiteral("select expand from %1 where id = %2").arg(table).arg(id))
            .toInt();
    };
    m_tree->expand(folder(1));
    m_tree->expand(feed(1));
    QCOMPARE(expand("folder", 1), 1);
    QCOMPARE(expand("feeds", 1), 1);
    m_tree->expand(folder(3));
    m_tree->expand(feed(3));
    m_tree->collapse(folder(3));
    m_tree->expand(feed(2));
    m_tree->collapse(feed(2));
    QCOMPARE(expand("folder", 3), 0);
    QCOMPARE(expand("feeds", 2), 0);

    m_watch.reset();
    m_tree = std::make_unique<PFeedsTree>(&m_db->db);
    m_model = m_tree->feedModel();
    m_watch = std::make_unique<ModelWatch>(m_model);
    QVERIFY(m_tree->isExpanded(folder(1)));
    QVERIFY(m_tree->isExpanded(feed(1)));
    QVERIFY(!m_tree->isExpanded(feed(2)));
    QVERIFY(!m_tree->isExpanded(folder(2)));
    // Feeds of a collapsed folder stay folded until the folder opens.
    QVERIFY(!m_tree->isExpanded(folder(3)));
    QVERIFY(!m_tree->isExpanded(feed(3)));
    QCOMPARE(expand("feeds", 3), 1);
}

void tst_FeedsTree::selectFeed()
{
    m_db->addFolder(2, QStringLiteral("Spare"), 1);
    build();
    QVERIFY(m_tree->isExpanded(folder(2)));

    m_tree->selectFeed(3);
    QCOMPARE(m_tree->currentIndex(), feed(3));
    QVERIFY(m_tree->isExpanded(folder(3)));
    QVERIFY(!m_tree->isExpanded(folder(2)));
    QCOMPARE(
        m_log, (QStringList{"overview " + m_db->page(3), "source http://example.org/feed3.xml"}));
    // Showing one feed is not the user folding the others away.
    QCOMPARE(value("select expand from folder where id = 2").toInt(), 1);

    // Selecting it again, or nothing, does not silence the next change.
    m_tree->selectFeed(3);
    m_tree->selectFeed(-1);
    QVERIFY(m_tree->isExpanded(folder(3)));
    m_tree->selectFeed(99);
    QVERIFY(!m_tree->isExpanded(folder(3)));
    m_tree->setCurrentIndex(feed(1));
    QCOMPARE(m_log.filter("link"), QStringList{"link " + m_db->page(1)});
}

QTEST_MAIN(tst_FeedsTree)
#include "tst_feedstree.moc"
