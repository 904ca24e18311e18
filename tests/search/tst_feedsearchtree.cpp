#include "tree/pfeedsearchtree.h"
#include "tree/searchindex.h"

#include "treefixture.h"

#include <QTest>

// The search tree over a small database:
//   folder 1 "My Feeds": feed 1 "Tech", feed 2 "Empty" (only a cleared item),
//                        feed 4 never fetched (no title)
//   folder 2 "Other":    feed 3 "World & Co" (stored with the entity)
class tst_FeedSearchTree : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void patterns_data();
    void patterns();
    void scopes_data();
    void scopes();
    void foundRows();
    void indexGivesTheSameResults_data();
    void indexGivesTheSameResults();
    void indexFollowsItemChanges();
    void clicksAndActivation();

private:
    // "folder", "folder/feed" and "folder/feed/found title" for every row, in order.
    QStringList outline() const;
    QStringList foundTitles() const;
    QTreeWidgetItem *find(const QString &path) const;

    std::unique_ptr<TreeFixture> m_db;
    std::unique_ptr<PFeedSearchTree> m_tree;
};

void tst_FeedSearchTree::init()
{
    m_db = std::make_unique<TreeFixture>();
    QVERIFY(m_db->opened);
    m_db->addFolder(2, QStringLiteral("Other"));
    m_db->addFeed(1, 1, QStringLiteral("Tech"));
    m_db->addFeed(2, 1, QStringLiteral("Empty"));
    m_db->addFeed(3, 2, QStringLiteral("World &amp; Co"));
    m_db->addFeed(4, 1, QVariant(QMetaType::fromType<QString>()));
    m_db->addItem({1, 1, QStringLiteral("RSS news feed"), QStringLiteral("about feeds")});
    m_db->addItem({1, 2, QStringLiteral("abc"), QStringLiteral("nothing")});
    m_db->addItem({1, 3, QStringLiteral("aXc"), QStringLiteral("nothing"), {}, {}, 1});
    m_db->addItem({1, 4, QStringLiteral("ac"), QStringLiteral("feed rss")});
    m_db->addItem({2, 1, QStringLiteral("abc cleared"), QStringLiteral("x"), {}, {}, 1, 1});
    m_db->addItem(
        {3, 1, QStringLiteral("O'Reilly \"quoted\" 50%_off \\path"), QStringLiteral("y")});
    m_db->addItem({3, 2, QStringLiteral("world abc"), QStringLiteral("z"), {}, {}, 1});
    m_db->addItem({4, 1, QStringLiteral("abc untitled feed"), QStringLiteral("z")});
    m_tree = std::make_unique<PFeedSearchTree>(&m_db->db);
}

void tst_FeedSearchTree::cleanup()
{
    m_tree.reset();
    m_db.reset();
}

QStringList tst_FeedSearchTree::outline() const
{
    QStringList rows;
    QTreeWidgetItemIterator it(m_tree.get());
    for (; *it; ++it) {
        const QString text = (*it)->parent() && (*it)->parent()->parent()
            ? (*it)->data(0, Qt::UserRole).toStringList().value(0)
            : (*it)->text(0);
        QString path = text;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            path.prepend(p->text(0) + QLatin1Char('/'));
        rows.append(path);
    }
    return rows;
}

QStringList tst_FeedSearchTree::foundTitles() const
{
    QStringList titles;
    for (const QString &row : outline())
        if (row.count(QLatin1Char('/')) == 2)
            titles.append(row.section(QLatin1Char('/'), 2));
    return titles;
}

QTreeWidgetItem *tst_FeedSearchTree::find(const QString &path) const
{
    QTreeWidgetItemIterator it(m_tree.get());
    for (const QString &row : outline()) {
        if (row == path)
            return *it;
        ++it;
    }
    return nullptr;
}

void tst_FeedSearchTree::patterns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("titles");

    // Favourites first (by feed), then each feed newest first.
    QTest::newRow("star spans") << "rss*feed" << QStringList{"RSS news feed"};
    QTest::newRow("question mark is one character")
        << "a?c" << QStringList{"aXc", "world abc", "aXc", "abc", "world abc"};
    QTest::newRow("ASCII case ignored") << "ABC" << QStringList{"world abc", "abc", "world abc"};
    QTest::newRow("description") << "feed rss" << QStringList{"ac"};
    QTest::newRow("cleared items, untitled feeds") << "cleared" << QStringList();
    // Texts are bound, never part of the statement; % and _ stay wildcards.
    const QStringList reilly{"O'Reilly \"quoted\" 50%_off \\path"};
    QTest::newRow("single quote") << "O'Reilly" << reilly;
    QTest::newRow("double quotes") << "\"quoted\"" << reilly;
    QTest::newRow("backslash") << "\\path" << reilly;
    QTest::newRow("percent") << "50%off" << reilly;
    QTest::newRow("statement break") << "'); drop table items; --" << QStringList();
    QTest::newRow("always true") << "' or '1'='1" << QStringList();
    QTest::newRow("very long") << QString(20000, QLatin1Char('x')) << QStringList();
}

void tst_FeedSearchTree::patterns()
{
    QFETCH(QString, text);
    QFETCH(QStringList, titles);
    m_tree->setFilter(text);
    QCOMPARE(foundTitles(), titles);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from items")).toInt(), 8);
    // Every folder and titled feed is listed, expanded, found something or not.
    const QStringList rows = outline();
    for (const QString row : {"My Feeds", "My Feeds/Favorites", "My Feeds/Tech", "My Feeds/Empty",
             "Other", "Other/World & Co"})
        QVERIFY2(rows.contains(row) && m_tree->isExpanded(m_tree->indexFromItem(find(row))),
            qPrintable(row));
    QCOMPARE(rows.size(), 6 + titles.size());
}

void tst_FeedSearchTree::scopes_data()
{
    QTest::addColumn<QString>("scope");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("folderScope");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("one feed: no favourites")
        << "feed" << 1 << 1
        << QStringList{"My Feeds", "My Feeds/Tech", "My Feeds/Tech/aXc", "My Feeds/Tech/abc"};
    QTest::newRow("favourites entry")
        << "feed" << 0 << 1
        << QStringList{"My Feeds", "My Feeds/Favorites", "My Feeds/Favorites/aXc",
               "My Feeds/Favorites/world abc"};
    // Chosen by id, a feed is listed even without a title.
    QTest::newRow("untitled feed")
        << "feed" << 4 << 1 << QStringList{"My Feeds", "My Feeds/", "My Feeds//abc untitled feed"};
    QTest::newRow("feed in another folder")
        << "feed" << 3 << 2
        << QStringList{"Other", "Other/World & Co", "Other/World & Co/world abc"};
    QTest::newRow("unknown feed") << "feed" << 9 << 1 << QStringList{"My Feeds"};
    QTest::newRow("one folder") << "folder" << 2 << 2
                                << QStringList{
                                       "Other", "Other/World & Co", "Other/World & Co/world abc"};
    QTest::newRow("unknown folder") << "folder" << 9 << 9 << QStringList();
}

void tst_FeedSearchTree::scopes()
{
    QFETCH(QString, scope);
    QFETCH(int, id);
    QFETCH(int, folderScope);
    QFETCH(QStringList, rows);
    m_tree->setFolderScope(5);
    if (scope == QLatin1String("feed"))
        m_tree->setFeedScope(id);
    else
        m_tree->setFolderScope(id);
    QCOMPARE(m_tree->folderScope(), folderScope);
    m_tree->setFilter(QStringLiteral("a?c"));
    QCOMPARE(outline(), rows);

    m_tree->clearScope();
    m_tree->setFilter(QStringLiteral("a?c"));
    QCOMPARE(outline().size(), 11);
}

void tst_FeedSearchTree::foundRows()
{
    const QVariant null(QMetaType::fromType<QString>());
    m_db->addItem({1, 10, QStringLiteral("Gr&uuml;&szlig;e &amp;auml;"),
        QStringLiteral("&lt;b&gt;Hello&lt;/b&gt; world"), null});
    m_db->addItem({1, 11, null, QStringLiteral("plain <i>keep < unclosed"),
        QStringLiteral("Tue, 02 Jan 2024"), QStringLiteral("http://x/11")});
    m_db->addItem({1, 12, QStringLiteral("no description"), null});
    m_db->addItem({1, 13, QString(""), QStringLiteral("empty, not null, title")});
    m_tree->setFeedScope(1);
    m_tree->setFilter(QStringLiteral("e"));

    QTreeWidgetItem *tech = find(QStringLiteral("My Feeds/Tech"));
    QVERIFY(tech && tech->childCount() == 6);
    const QString pubdate = QStringLiteral("Mon, 01 Jan 2024 10:00:00 GMT");
    const QList<std::pair<QStringList, int>> expected{
        {{"", "empty, not null, title", pubdate}, 93},
        {{"no description", "", pubdate}, 53},
        {{"", "plain keep < unclosed", "Tue, 02 Jan 2024"}, 53},
        // Without a publication date the row shows when it was stored.
        {{QString::fromUtf8("Grüße &auml;"), "Hello world", "2024-01-02 03:04:05"}, 93},
    };
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(tech->child(i)->data(0, Qt::UserRole).toStringList(), expected.at(i).first);
        QCOMPARE(tech->child(i)->sizeHint(0), QSize(0, expected.at(i).second));
        QVERIFY(tech->child(i)->text(0).isEmpty());
    }
    QCOMPARE(tech->child(2)->data(0, Qt::UserRole + 1).toString(), QStringLiteral("http://x/11"));
}

void tst_FeedSearchTree::indexGivesTheSameResults_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"rss*feed", "RSS", "abc", "a?c", "wor*abc", "Reilly \"quo", "50%_off",
             "\\path", "feed rss", "ÄBC", "äbc", "Grüße", "&uuml;", "ac", "O'R"})
        QTest::newRow(text) << QString::fromUtf8(text);
}

void tst_FeedSearchTree::indexGivesTheSameResults()
{
    QFETCH(QString, text);
    // LIKE folds ASCII letters only: these differ from each other in case alone.
    m_db->addItem({3, 3, QString::fromUtf8("ÄBC upper"), QStringLiteral("d")});
    m_db->addItem({3, 4, QString::fromUtf8("äbc lower"), QString::fromUtf8("Grüße")});
    m_db->addItem({3, 5, QStringLiteral("Gr&uuml;&szlig;e"), QStringLiteral("d")});
    m_tree = std::make_unique<PFeedSearchTree>(&m_db->db);

    // A database that predates the index is searched item by item until it is built.
    QVERIFY(m_tree->searchIndex()->isAvailable() && !m_tree->searchIndex()->isReady());
    m_tree->setFilter(text);
    const QStringList scanned = outline();
    QTRY_VERIFY(m_tree->searchIndex()->isReady());
    m_tree->setFilter(text);
    QCOMPARE(outline(), scanned);
}

void tst_FeedSearchTree::indexFollowsItemChanges()
{
    QTRY_VERIFY(m_tree->searchIndex()->isReady());
    const auto found = [this](const char *text) {
        m_tree->setFilter(QString::fromLatin1(text));
        return foundTitles();
    };
    m_db->addItem({1, 20, QStringLiteral("brand new"), QStringLiteral("zebra crossing")});
    QCOMPARE(found("zebra"), QStringList{"brand new"});
    m_db->exec(QStringLiteral("update items set description = 'giraffe' where itemid = 20"));
    QCOMPARE(found("zebra"), QStringList());
    QCOMPARE(found("giraffe"), QStringList{"brand new"});
    // Read and flag changes leave the index alone.
    m_db->exec(QStringLiteral("update items set isread = 1, mark = 1 where itemid = 20"));
    QCOMPARE(found("giraffe"), (QStringList{"brand new", "brand new"}));
    m_db->exec(QStringLiteral("delete from items where channelid = 1"));
    QCOMPARE(found("giraffe"), QStringList());
    m_db->addItem({1, 20, QStringLiteral("again"), QStringLiteral("giraffe")});
    QCOMPARE(found("giraffe"), QStringList{"again"});
}

void tst_FeedSearchTree::clicksAndActivation()
{
    m_tree->resize(400, 600);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree.get()));
    m_tree->setFilter(QStringLiteral("a?c"));
    QStringList log;
    connect(m_tree.get(), &PFeedSearchTree::sendLink, this, [&log](auto s) { log << "link " + s; });
    connect(m_tree.get(), &PFeedSearchTree::sendOverview, this,
        [&log](auto s) { log << "overview " + s; });
    for (const char *path : {"My Feeds/Tech/abc", "My Feeds/Favorites", "My Feeds/Empty", "Other"})
        QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {},
            m_tree->visualItemRect(find(QString::fromLatin1(path))).center());
    // Feed 2 has only a cleared item: nothing to show.
    QCOMPARE(log,
        (QStringList{"link http://example.org/1/2", "overview " + m_db->page(1),
            "link " + m_db->page(0), "overview " + m_db->page(0), "link about:blank",
            "overview about:blank", "overview "}));

    // Activation toggles a row, once also on a double click.
    const QModelIndex tech = m_tree->indexFromItem(find(QStringLiteral("My Feeds/Tech")));
    emit m_tree->activated(tech);
    QVERIFY(!m_tree->isExpanded(tech));
    emit m_tree->activated(tech);
    QVERIFY(m_tree->isExpanded(tech));
    const QPoint pos = m_tree->visualRect(tech).center();
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QVERIFY(!m_tree->isExpanded(tech));
}

QTEST_MAIN(tst_FeedSearchTree)
#include "tst_feedsearchtree.moc"
