#include "dialogs/pconfigdialog.h"
#include "dialogs/pfeedtable.h"
#include "host/psettings.h"
#include "host/recordingrouter.h"
#include "host/request.h"

#include "treefixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

const QStringList Keys{"updateIntervall", "MaxItemsInClient", "MaxItemsInViewer", "InGroups",
    "NewItemsOnly", "SwitchByNewItems"};

// The dialog for a user of their own, so that settings start unset; feeds 1 and 3
// are shown in the client, feed 2 was never fetched and is listed under its address.
class Settings : public TreeFixture
{
public:
    explicit Settings(const QVariantMap &stored = {})
    {
        PSettings::instance()->changeUser("settings-test");
        for (auto it = stored.begin(); it != stored.end(); ++it)
            PSettings::instance()->set(it.key(), it.value(), "RSS");
        exec("insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) "
             "values (1, 'http://example.org/1.xml', 'Alpha', 1, 0, 1, 1), "
             "(2, 'http://example.org/2.xml', null, 1, 0, 1, 0), "
             "(3, 'http://example.org/3.xml', 'Gamma', 1, 0, 1, 1)");
        open();
    }
    ~Settings() { PSettings::instance()->changeUser("default"); }

    // What the store holds for the six keys; invalid for a key never written.
    QVariantList stored() const
    {
        QVariantList values;
        for (const QString &key : Keys)
            values.append(PSettings::instance()->get(key, QVariant(), "RSS"));
        return values;
    }
    QString inClient() { return value("select group_concat(inclient, '') from feeds").toString(); }

    // Opens the dialog and records the signals it emits.
    void open()
    {
        dialog = std::make_unique<PConfigDialog>(&db);
        auto *d = dialog.get();
        QObject::connect(d, &PConfigDialog::sendNewIntervall, [this] { emitted << "intervall"; });
        QObject::connect(d, &PConfigDialog::sendNewItemCount, [this] { emitted << "item count"; });
        QObject::connect(d, &PConfigDialog::sendNewOptions, [this] { emitted << "options"; });
        QObject::connect(d, &PConfigDialog::sendHideFeed,
            [this](int id) { emitted << "hide " + QString::number(id); });
        QObject::connect(d, &PConfigDialog::sendShowFeed,
            [this](int id) { emitted << "show " + QString::number(id); });
    }
    template <typename T> T *child(const char *name) const { return dialog->findChild<T *>(name); }
    void press(const char *button) { child<QPushButton>(button)->click(); }

    RecordingRouter router;
    std::unique_ptr<PConfigDialog> dialog;
    QStringList emitted;
};

// "field:type=value" of each field of a message.
QStringList fields(const Protocol &p)
{
    QStringList result;
    for (const ProtocolArg &arg : p.args())
        result << QStringLiteral("%1:%2=%3")
                      .arg(QString::number(arg.field()), ProtocolArg::typeName(arg.type()),
                          arg.variant().toString());
    return result;
}

} // namespace

class tst_SettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void showsStoredValuesWithinBounds();
    void saveSendsEachChange_data();
    void saveSendsEachChange();
    void feedVisibilityOnlyOnSave();
    void languageChange();
    void everyTextWhole_data();
    void everyTextWhole();
};

void tst_SettingsDialog::showsStoredValuesWithinBounds()
{
    Settings f({{"updateIntervall", 30}, {"MaxItemsInViewer", 0}, {"InGroups", 2},
        {"SwitchByNewItems", 2}});
    // value min..max; the client count is the default.
    QStringList spins;
    for (const char *name : {"IntervallspinBox", "spinBox", "spinBox_2"}) {
        const auto *spin = f.child<QSpinBox>(name);
        spins << QString::asprintf("%d %d..%d", spin->value(), spin->minimum(), spin->maximum());
    }
    QCOMPARE(spins, (QStringList{"30 5..60", "20 5..30", "0 0..20"}));
    QVERIFY(f.child<QCheckBox>("checkBox")->isChecked());
    QVERIFY(!f.child<QCheckBox>("unreadedItemsBox")->isChecked());
    // Only exactly 1 means "switch".
    QVERIFY(!f.child<QCheckBox>("m_SwitchModuleCheckBox")->isChecked());

    // Alpha (1), Gamma (3), then feed 2 under its address.
    auto *table = f.child<PFeedTable>("tableWidget");
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->item(row, 0)->text() + (table->item(row, 0)->checkState() ? " on" : " off");
    QCOMPARE(rows, (QStringList{"Alpha on", "Gamma on", "http://example.org/2.xml off"}));
}

void tst_SettingsDialog::saveSendsEachChange_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("control"); // empty: nothing changed
    QTest::addColumn<int>("value"); // spin box value, or 1/0 for a check box
    QTest::addColumn<QString>("message"); // the setting's field; empty: no message
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("emitted");

    auto row = [](const char *name, const QVariantMap &stored, const char *control, int value,
                   const char *message, const char *key, const char *emitted) {
        QTest::newRow(name) << stored << control << value << message << key << emitted;
    };
    row("no change, defaults", {}, "", 0, "", "", "");
    row("no change, stored values",
        {{"updateIntervall", 30}, {"MaxItemsInClient", 12}, {"MaxItemsInViewer", 0},
            {"InGroups", 1}, {"NewItemsOnly", 1}, {"SwitchByNewItems", 0}},
        "", 0, "", "", "");
    // Values the dialog cannot show as they are are left alone.
    row("no change, odd flags", {{"InGroups", 2}, {"NewItemsOnly", 7}, {"SwitchByNewItems", 2}}, "",
        0, "", "", "");
    row("interval", {}, "IntervallspinBox", 45, "776:uint16=45", "updateIntervall", "intervall");
    row("items in client", {}, "spinBox", 7, "779:uint16=7", "MaxItemsInClient", "options");
    row("items in viewer", {}, "spinBox_2", 0, "780:uint16=0", "MaxItemsInViewer", "item count");
    row("groups on", {}, "checkBox", 1, "777:uint16=1", "InGroups", "options");
    row("groups off", {{"InGroups", 1}}, "checkBox", 0, "777:uint16=0", "InGroups", "options");
    row("unread only on", {}, "unreadedItemsBox", 1, "778:uint8=1", "NewItemsOnly", "options");
    row("unread only off", {{"NewItemsOnly", 1}}, "unreadedItemsBox", 0, "778:uint8=0",
        "NewItemsOnly", "options");
    // The switch stays with the client: stored, announced, never sent.
    row("switch off", {}, "m_SwitchModuleCheckBox", 0, "", "SwitchByNewItems", "options");
    row("switch on", {{"SwitchByNewItems", 0}}, "m_SwitchModuleCheckBox", 1, "", "SwitchByNewItems",
        "options");
}

void tst_SettingsDialog::saveSendsEachChange()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, control);
    QFETCH(int, value);
    QFETCH(QString, message);
    QFETCH(QString, key);
    QFETCH(QString, emitted);

    Settings f(stored);
    const QVariantList before = f.stored();
    if (auto *spin = f.dialog->findChild<QSpinBox *>(control))
        spin->setValue(value);
    else if (!control.isEmpty())
        f.child<QCheckBox>(qPrintable(control))->setChecked(value != 0);
    f.press("buttonComplete");
    QCOMPARE(f.dialog->result(), int(QDialog::Accepted));

    if (message.isEmpty()) {
        QCOMPARE(f.router.count(), 0);
    } else {
        QCOMPARE(f.router.commandList(), QStringList{"41,2"});
        QCOMPARE(fields(f.router.message(0)), (QStringList{"775:uint16=1", message}));
        QVERIFY(!f.router.request(0)->hasSuccessCallback());
    }
    QCOMPARE(f.emitted.join(','), emitted);
    QCOMPARE(f.inClient(), QStringLiteral("101"));

    // The changed key holds the new value as a number; the others are untouched.
    const QVariantList after = f.stored();
    for (int i = 0; i < Keys.size(); ++i)
        QCOMPARE(after.at(i), Keys.at(i) == key ? QVariant(QString::number(value)) : before.at(i));
}

void tst_SettingsDialog::feedVisibilityOnlyOnSave()
{
    for (const char *button : {"buttonCancel", "buttonComplete"}) {
        Settings f;
        auto *table = f.child<PFeedTable>("tableWidget");
        // Rows: Alpha (1), Gamma (3), then feed 2 under its address.
        table->item(0, 0)->setCheckState(Qt::Unchecked);
        table->item(0, 0)->setCheckState(Qt::Checked);
        table->item(1, 0)->setCheckState(Qt::Unchecked);
        table->item(2, 0)->setCheckState(Qt::Checked);
        QCOMPARE(f.inClient(), QStringLiteral("101"));

        f.press(button);
        const bool saved = f.dialog->result() == QDialog::Accepted;
        QCOMPARE(saved, button == QLatin1String("buttonComplete"));
        QCOMPARE(f.inClient(), QLatin1String(saved ? "110" : "101"));
        QCOMPARE(f.emitted.join(','), QLatin1String(saved ? "hide 3,show 2" : ""));
        // Visibility is the plug-in's message to send, not the dialog's.
        QCOMPARE(f.router.count(), 0);
    }
}

void tst_SettingsDialog::languageChange()
{
    Settings f;
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("News Options"));
    struct : QTranslator
    {
        bool isEmpty() const override { return false; }
        QString translate(const char *, const char *text, const char *, int) const override
        {
            return '[' + QString::fromUtf8(text) + ']';
        }
    } marker;
    QCoreApplication::installTranslator(&marker);
    QTRY_COMPARE(f.dialog->windowTitle(), QStringLiteral("[News Options]"));
    QCOMPARE(f.child<QPushButton>("buttonComplete")->text(), QStringLiteral("[Save]"));
    QVERIFY(
        f.child<QLabel>("label_6")->text().contains(">[Configure the pellix News-Viewer]</span>"));
    QCoreApplication::removeTranslator(&marker);
    QTRY_COMPARE(f.dialog->windowTitle(), QStringLiteral("News Options"));
}

void tst_SettingsDialog::everyTextWhole_data()
{
    QTest::addColumn<QString>("translation"); // empty: English
    QTest::newRow("English") << QString();
    QTest::newRow("German") << QStringLiteral(PELLIX_GERMAN_QM);
}

void tst_SettingsDialog::everyTextWhole()
{
    // At the dialog's fixed size no label, check box or button is cut off.
    QFETCH(QString, translation);
    QTranslator german;
    if (!translation.isEmpty()) {
        QVERIFY2(german.load(translation), qPrintable(translation));
        QCoreApplication::installTranslator(&german);
    }
    Settings s;
    s.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.dialog.get()));
    QCOMPARE(s.dialog->size(), QSize(580, 480));
    if (!translation.isEmpty())
        QCOMPARE(s.child<QCheckBox>("checkBox")->text(), QStringLiteral("Gruppen anzeigen"));
    int checked = 0;
    for (QWidget *widget : s.dialog->findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue; // the frame's own hidden parts
        QString text;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            text = label->text();
            if (text.isEmpty())
                continue;
            if (label->wordWrap())
                QVERIFY2(
                    label->height() >= label->heightForWidth(label->width()), qPrintable(text));
            else
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(text));
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            text = button->text();
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(text));
        } else {
            continue;
        }
        ++checked;
    }
    QVERIFY2(checked >= 11, qPrintable(QString::number(checked)));
    QCoreApplication::removeTranslator(&german);
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
