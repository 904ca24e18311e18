#include "dialogs/pconfigdialog.h"
#include "dialogs/pfeedtable.h"
#include "host/psettings.h"
#include "host/recordingrouter.h"
#include "host/request.h"

#include "treefixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTranslator>

namespace {

const QStringList Keys{QStringLiteral("updateIntervall"), QStringLiteral("MaxItemsInClient"),
    QStringLiteral("MaxItemsInViewer"), QStringLiteral("InGroups"), QStringLiteral("NewItemsOnly"),
    QStringLiteral("SwitchByNewItems")};

// A user of their own, so that settings start unset; feeds 1 and 3 are shown in
// the client, feed 2 was never fetched and is listed under its address.
class SettingsFixture : public TreeFixture
{
public:
    explicit SettingsFixture(const QVariantMap &stored = {})
    {
        PSettings::instance()->changeUser(QStringLiteral("settings-test"));
        for (auto it = stored.begin(); it != stored.end(); ++it)
            PSettings::instance()->set(it.key(), it.value(), QStringLiteral("RSS"));
        const char *feeds[][3] = {{"1", "Alpha", "1"}, {"2", nullptr, "0"}, {"3", "Gamma", "1"}};
        for (const auto &feed : feeds)
            exec(QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, "
                                "folderid, inclient) values (?, ?, ?, 1, 0, 1, ?)"),
                {QString::fromLatin1(feed[0]).toInt(),
                    QStringLiteral("http://example.org/%1.xml").arg(QLatin1String(feed[0])),
                    feed[1] ? QVariant(QString::fromLatin1(feed[1]))
                            : QVariant(QMetaType(QMetaType::QString)),
                    QString::fromLatin1(feed[2]).toInt()});
    }
    ~SettingsFixture() { PSettings::instance()->changeUser(QStringLiteral("default")); }

    // What the store holds for the six keys; invalid for a key never written.
    QVariantList stored() const
    {
        QVariantList values;
        for (const QString &key : Keys)
            values.append(PSettings::instance()->get(key, QVariant(), QStringLiteral("RSS")));
        return values;
    }
    QList<int> inClient()
    {
        QList<int> values;
        for (int id = 1; id <= 3; ++id)
            values.append(
                value(QStringLiteral("select inclient from feeds where id = ?"), {id}).toInt());
        return values;
    }

    RecordingRouter router;
};

struct Spies
{
    explicit Spies(PConfigDialog *d)
        : intervall(d, &PConfigDialog::sendNewIntervall),
          itemCount(d, &PConfigDialog::sendNewItemCount),
          options(d, &PConfigDialog::sendNewOptions),
          hide(d, &PConfigDialog::sendHideFeed),
          show(d, &PConfigDialog::sendShowFeed)
    {
    }
    // intervall, item count, options, hide, show
    QList<int> counts() const
    {
        return {int(intervall.count()), int(itemCount.count()), int(options.count()),
            int(hide.count()), int(show.count())};
    }
    QSignalSpy intervall, itemCount, options, hide, show;
};

// "field:type=value" of each field of a message.
QStringList fields(const Protocol &p)
{
    QStringList result;
    for (const ProtocolArg &arg : p.args())
        result.append(QStringLiteral("%1:%2=%3")
                          .arg(arg.field())
                          .arg(ProtocolArg::typeName(arg.type()))
                          .arg(arg.variant().toString()));
    return result;
}

template <typename T> T *child(const QWidget *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s in the dialog", name);
    return widget;
}

class GermanTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        const QString key
            = QString::fromLatin1(context) + QLatin1Char('/') + QString::fromUtf8(source);
        static const QHash<QString, QString> words{
            {QStringLiteral("PConfigDialog/News Options"), QStringLiteral("News-Optionen")},
            {QStringLiteral("PConfigDialog/Configure the pellix News-Viewer"),
                QStringLiteral("pellix News-Viewer einrichten")},
            {QStringLiteral("PConfigDialogClass/Save"), QStringLiteral("Speichern")},
        };
        return words.value(key);
    }
};

} // namespace

class tst_SettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void showsStoredValues();
    void saveWithoutChangesDoesNothing_data();
    void saveWithoutChangesDoesNothing();
    void eachChangeItsOwnMessage_data();
    void eachChangeItsOwnMessage();
    void feedVisibilityOnlyOnSave();
    void languageChange();
};

void tst_SettingsDialog::showsStoredValues()
{
    SettingsFixture f(
        {{QStringLiteral("updateIntervall"), 30}, {QStringLiteral("MaxItemsInViewer"), 0},
            {QStringLiteral("InGroups"), 2}, {QStringLiteral("SwitchByNewItems"), 2}});
    PConfigDialog dialog(&f.db);
    QCOMPARE(child<QSpinBox>(&dialog, "IntervallspinBox")->value(), 30);
    QCOMPARE(child<QSpinBox>(&dialog, "spinBox")->value(), 20);
    QCOMPARE(child<QSpinBox>(&dialog, "spinBox_2")->value(), 0);
    QVERIFY(child<QCheckBox>(&dialog, "checkBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "unreadedItemsBox")->isChecked());
    // Only exactly 1 means "switch".
    QVERIFY(!child<QCheckBox>(&dialog, "m_SwitchModuleCheckBox")->isChecked());

    auto *table = child<PFeedTable>(&dialog, "tableWidget");
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        rows.append(QStringLiteral("%1 %2 %3")
                        .arg(item->data(PFeedTable::IdRole).toInt())
                        .arg(item->text())
                        .arg(item->checkState() == Qt::Checked));
        QCOMPARE(table->rowHeight(row), 20);
        QVERIFY(!(item->flags() & Qt::ItemIsEditable));
    }
    QCOMPARE(rows,
        (QStringList{QStringLiteral("1 Alpha 1"), QStringLiteral("3 Gamma 1"),
            QStringLiteral("2 http://example.org/2.xml 0")}));
}

void tst_SettingsDialog::saveWithoutChangesDoesNothing_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::newRow("defaults") << QVariantMap();
    QTest::newRow("stored values") << QVariantMap{{QStringLiteral("updateIntervall"), 30},
        {QStringLiteral("MaxItemsInClient"), 12}, {QStringLiteral("MaxItemsInViewer"), 0},
        {QStringLiteral("InGroups"), 1}, {QStringLiteral("NewItemsOnly"), 1},
        {QStringLiteral("SwitchByNewItems"), 0}};
    // Values the dialog cannot show as they are are left alone.
    QTest::newRow("odd flags") << QVariantMap{{QStringLiteral("InGroups"), 2},
        {QStringLiteral("NewItemsOnly"), 7}, {QStringLiteral("SwitchByNewItems"), 2}};
}

void tst_SettingsDialog::saveWithoutChangesDoesNothing()
{
    QFETCH(QVariantMap, stored);
    SettingsFixture f(stored);
    const QVariantList before = f.stored();
    PConfigDialog dialog(&f.db);
    Spies spies(&dialog);

    child<QPushButton>(&dialog, "buttonComplete")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(f.router.count(), 0);
    QCOMPARE(spies.counts(), (QList<int>{0, 0, 0, 0, 0}));
    QCOMPARE(f.stored(), before);
    QCOMPARE(f.inClient(), (QList<int>{1, 0, 1}));
}

void tst_SettingsDialog::eachChangeItsOwnMessage_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<int>("value"); // spin box value, or 1/0 for a check box
    QTest::addColumn<QStringList>("message"); // empty: none
    QTest::addColumn<QString>("key");
    QTest::addColumn<QList<int>>("emitted"); // intervall, item count, options

    QTest::newRow("interval") << QVariantMap() << QByteArray("IntervallspinBox") << 45
                              << QStringList{"775:uint16=1", "776:uint16=45"}
                              << QStringLiteral("updateIntervall") << QList<int>{1, 0, 0};
    QTest::newRow("items in client") << QVariantMap() << QByteArray("spinBox") << 7
                                     << QStringList{"775:uint16=1", "779:uint16=7"}
                                     << QStringLiteral("MaxItemsInClient") << QList<int>{0, 0, 1};
    QTest::newRow("items in viewer") << QVariantMap() << QByteArray("spinBox_2") << 0
                                     << QStringList{"775:uint16=1", "780:uint16=0"}
                                     << QStringLiteral("MaxItemsInViewer") << QList<int>{0, 1, 0};
    QTest::newRow("groups on") << QVariantMap() << QByteArray("checkBox") << 1
                               << QStringList{"775:uint16=1", "777:uint16=1"}
                               << QStringLiteral("InGroups") << QList<int>{0, 0, 1};
    QTest::newRow("groups off") << QVariantMap{{QStringLiteral("InGroups"), 1}}
                                << QByteArray("checkBox") << 0
                                << QStringList{"775:uint16=1", "777:uint16=0"}
                                << QStringLiteral("InGroups") << QList<int>{0, 0, 1};
    QTest::newRow("unread only on") << QVariantMap() << QByteArray("unreadedItemsBox") << 1
                                    << QStringList{"775:uint16=1", "778:uint8=1"}
                                    << QStringLiteral("NewItemsOnly") << QList<int>{0, 0, 1};
    QTest::newRow("unread only off")
        << QVariantMap{{QStringLiteral("NewItemsOnly"), 1}} << QByteArray("unreadedItemsBox") << 0
        << QStringList{"775:uint16=1", "778:uint8=0"} << QStringLiteral("NewItemsOnly")
        << QList<int>{0, 0, 1};
    // The switch stays with the client: stored, announced, never sent.
    QTest::newRow("switch off") << QVariantMap() << QByteArray("m_SwitchModuleCheckBox") << 0
                                << QStringList() << QStringLiteral("SwitchByNewItems")
                                << QList<int>{0, 0, 1};
    QTest::newRow("switch on") << QVariantMap{{QStringLiteral("SwitchByNewItems"), 0}}
                               << QByteArray("m_SwitchModuleCheckBox") << 1 << QStringList()
                               << QStringLiteral("SwitchByNewItems") << QList<int>{0, 0, 1};
}

void tst_SettingsDialog::eachChangeItsOwnMessage()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QByteArray, control);
    QFETCH(int, value);
    QFETCH(QStringList, message);
    QFETCH(QString, key);
    QFETCH(QList<int>, emitted);

    SettingsFixture f(stored);
    const QVariantList before = f.stored();
    PConfigDialog dialog(&f.db);
    Spies spies(&dialog);
    if (auto *spin = dialog.findChild<QSpinBox *>(QLatin1String(control)))
        spin->setValue(value);
    else
        child<QCheckBox>(&dialog, control.constData())->setChecked(value != 0);

    child<QPushButton>(&dialog, "buttonComplete")->click();

    if (message.isEmpty()) {
        QCOMPARE(f.router.count(), 0);
    } else {
        QCOMPARE(f.router.commandList(), QStringList{QStringLiteral("41,2")});
        QCOMPARE(fields(f.router.message(0)), message);
        QVERIFY(!f.router.request(0)->hasSuccessCallback());
    }
    QCOMPARE(spies.counts(), emitted + QList<int>({0, 0}));

    // The changed key holds the new value as a number; the others are untouched.
    const QVariantList after = f.stored();
    for (int i = 0; i < Keys.size(); ++i) {
        if (Keys.at(i) == key) {
            QCOMPARE(after.at(i).toString(), QString::number(value));
        } else {
            QCOMPARE(after.at(i), before.at(i));
        }
    }
}

void tst_SettingsDialog::feedVisibilityOnlyOnSave()
{
    for (const bool save : {false, true}) {
        SettingsFixture f;
        PConfigDialog dialog(&f.db);
        Spies spies(&dialog);
        auto *table = child<PFeedTable>(&dialog, "tableWidget");
        // Rows: Alpha (1), Gamma (3), then feed 2 under its address.
        table->item(0, 0)->setCheckState(Qt::Unchecked);
        table->item(0, 0)->setCheckState(Qt::Checked);
        table->item(1, 0)->setCheckState(Qt::Unchecked);
        table->item(2, 0)->setCheckState(Qt::Checked);
        QCOMPARE(f.inClient(), (QList<int>{1, 0, 1}));

        child<QPushButton>(&dialog, save ? "buttonComplete" : "buttonCancel")->click();
        if (!save) {
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(f.inClient(), (QList<int>{1, 0, 1}));
            QCOMPARE(spies.counts(), (QList<int>{0, 0, 0, 0, 0}));
            continue;
        }
        QCOMPARE(f.inClient(), (QList<int>{1, 1, 0}));
        QCOMPARE(spies.hide.count(), 1);
        QCOMPARE(spies.hide.at(0).at(0).toInt(), 3);
        QCOMPARE(spies.show.count(), 1);
        QCOMPARE(spies.show.at(0).at(0).toInt(), 2);
        // Visibility is the plug-in's message to send, not the dialog's.
        QCOMPARE(f.router.count(), 0);
    }
}

void tst_SettingsDialog::languageChange()
{
    SettingsFixture f;
    PConfigDialog dialog(&f.db);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("News Options"));
    GermanTranslator german;
    QCoreApplication::installTranslator(&german);

    QTRY_COMPARE(dialog.windowTitle(), QStringLiteral("News-Optionen"));
    QCOMPARE(child<QPushButton>(&dialog, "buttonComplete")->text(), QStringLiteral("Speichern"));
    QVERIFY(child<QLabel>(&dialog, "label_6")
                ->text()
                .contains(QStringLiteral(">pellix News-Viewer einrichten</span>")));
    QCoreApplication::removeTranslator(&german);
    QTRY_COMPARE(dialog.windowTitle(), QStringLiteral("News Options"));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
