#include "pluginfixture.h"

#include "dialogs/pconfigdialog.h"
#include "host/pwizard_standard2.h"
#include "viewer/prssfeedview.h"
#include "wizard/abowizzard.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace {

template <typename T> QList<T *> windowsOf()
{
    QList<T *> result;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget))
            result.append(window);
    }
    return result;
}

} // namespace

// The plug-in's windows once synchronised, with one own feed (id 3) in the database.
class tst_PluginWindows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void oneViewerWiredToThePlugin();
    void modalWindowsOpenOnce_data();
    void modalWindowsOpenOnce();

private:
    std::unique_ptr<PluginFixture> f;
};

void tst_PluginWindows::init()
{
    f.reset(); // the previous one first: they share the client's singletons
    f = std::make_unique<PluginFixture>();
    QVERIFY(f->synchroniseWithFailure());
    PluginFixture::addFeed(3, "http://127.0.0.1/three", -1, 1, 0, 1, "Three");
}

void tst_PluginWindows::oneViewerWiredToThePlugin()
{
    int from = f->router.count();
    QCOMPARE(PluginFixture::deliver(ClientMessage::OpenViewer, {-1, 3}), "succeeded");
    QCOMPARE(windowsOf<PRSSFeedView>().size(), 1);
    QPointer<PRSSFeedView> view = windowsOf<PRSSFeedView>().constFirst();
    QVERIFY(view->isVisible() && !view->parent());

    view->showMinimized();
    PluginFixture::deliver(ClientMessage::OpenViewer, {-1, -1});
    QCOMPARE(windowsOf<PRSSFeedView>(), QList<PRSSFeedView *>{view});
    QVERIFY(!view->isMinimized());
    const QString activation = QString("1,61682 0:i32:%1").arg(qint32(view->winId()));
    QCOMPARE(f->sentSince(from), QStringList({activation, activation}));
    // The item-state command refreshes the feed in the open viewer.
    QCOMPARE(PluginFixture::deliver(ClientMessage::ItemStateChanged, {1, 3}), "succeeded");

    from = f->router.count();
    emit view->sendItemStateChanged(1, 3, 4);
    emit view->sendChangeFeeds(3, true);
    emit view->sendRenameFeed(3);
    emit view->sendSaveGroups();
    QCOMPARE(
        f->router.commandList().mid(from), QStringList({"41,61822", "41,61818", "41,6", "41,7"}));
    // Questions asked for the viewer have it as their parent.
    ScriptedMessageBox::scriptAnswers({0});
    emit view->clearFeed("http://127.0.0.1/three", true);
    QCOMPARE(ScriptedMessageBox::asked().size(), 1);
    QCOMPARE(ScriptedMessageBox::asked().at(0).parent.data(), view);

    f->plugin->shutdown();
    QVERIFY(!view || !view->isVisible());
    QTRY_VERIFY(!view);
}

void tst_PluginWindows::modalWindowsOpenOnce_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("sent"); // after the window's activation
    QTest::newRow("subscription wizard") << int(ClientMessage::OpenSubscriptionWizard)
                                         << QStringList{"41,61818", "41,61819", "41,4", "41,7"};
    // Showing or hiding a feed also reports its state.
    QTest::newRow("settings") << int(ClientMessage::OpenSettings)
                              << QStringList{"41,61819", "41,6", "41,61820", "41,6", "41,61821"};
}

void tst_PluginWindows::modalWindowsOpenOnce()
{
    QFETCH(int, command);
    QFETCH(QStringList, sent);
    const int from = f->router.count();
    QPointer<QDialog> shown;
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        // Closed once the checks are done, even when one of them fails.
        QTimer::singleShot(0, dialog, [dialog] { dialog->done(QDialog::Rejected); });
        shown = dialog;
        seen = true;
        QVERIFY(!dialog->parent());
        // A second request while it is open opens no other.
        QCOMPARE(PluginFixture::deliver(quint16(command)), "succeeded");
        QCOMPARE(windowsOf<QDialog>().size(), 1);
        if (auto *wizard = qobject_cast<PWizard_Standard2 *>(dialog)) {
            auto *mission = qobject_cast<AboWizzard *>(wizard->mission());
            QVERIFY(mission);
            emit mission->saveFeed("http://127.0.0.1/w", "W", 55);
        } else if (auto *settings = qobject_cast<PConfigDialog *>(dialog)) {
            emit settings->sendShowFeed(3);
            emit settings->sendHideFeed(3);
            emit settings->sendNewOptions();
        }
    });
    QCOMPARE(PluginFixture::deliver(quint16(command)), "succeeded");
    // Run modally and gone once closed.
    QVERIFY(seen && !shown);
    QStringList all = f->router.commandList().mid(from);
    all.removeAll("1,99"); // the updater's proxy request, whenever the loop sends it
    QCOMPARE(all, QStringList{"1,61682"} + sent);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    tst_PluginWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pluginwindows.moc"
