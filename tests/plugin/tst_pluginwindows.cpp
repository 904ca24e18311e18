#include "pluginfixture.h"

#include "dialogs/pconfigdialog.h"
#include "host/pwizard_standard2.h"
#include "host/wrappluginhelper.h"
#include "viewer/prssfeedview.h"
#include "wizard/abowizzard.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <functional>

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

// Runs check on the modal dialog of type T once it is shown, then closes it.
template <typename T> void whileModal(std::function<void(T *)> check)
{
    QTimer::singleShot(0, qApp, [check] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog) {
            // Whatever is modal must end, or the test would wait for ever.
            if (auto *other = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                other->done(QDialog::Rejected);
            QFAIL("no modal dialog of the expected kind");
            return;
        }
        // Closed once the checks are done, even when one of them fails.
        QTimer::singleShot(0, dialog, [dialog] { dialog->done(QDialog::Rejected); });
        check(dialog);
    });
}

// The command's outcome as the client learns it (the request itself may be gone
// when a modal window returns).
Request::Outcome deliver(quint16 command, const QList<qint32> &args = {})
{
    Protocol message(41, command);
    for (qint32 value : args)
        message.add(0, ProtocolArg::Int32, value);
    auto outcome = Request::Outcome::Pending;
    auto &helper = WrapPluginHelper::Instance();
    const auto connection = QObject::connect(&helper, &WrapPluginHelper::commandFinished,
        [&outcome](Request *r) { outcome = r->outcome(); });
    helper.deliverCommand(41, command, &message);
    QObject::disconnect(connection);
    return outcome;
}

QString activation(QWidget *window)
{
    return QStringLiteral("1,61682 0:i32:%1").arg(qint32(window->winId()));
}

} // namespace

class tst_PluginWindows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void viewerCommandKeepsOneViewer();
    void viewerSignalsReachThePlugin();
    void shutdownClosesTheViewer();
    void wizardRunsModallyOnce();
    void settingsFromClientRunsModallyOnce();
    void settingsFromViewerSitsOnTheViewer();

private:
    std::unique_ptr<PluginFixture> f;
};

void tst_PluginWindows::init()
{
    f = std::make_unique<PluginFixture>();
    QVERIFY(f->synchroniseWithFailure());
    PluginFixture::addFeed(
        3, QStringLiteral("http://127.0.0.1/three"), -1, 1, 0, 1, QStringLiteral("Three"));
}

void tst_PluginWindows::cleanup()
{
    f.reset();
    // Windows the plug-in closed go with the next deferred deletion.
    QTRY_COMPARE(windowsOf<PRSSFeedView>().size(), 0);
}

void tst_PluginWindows::viewerCommandKeepsOneViewer()
{
    const int from = f->router.count();
    QCOMPARE(deliver(61812, {-1, 3}), Request::Outcome::Succeeded);
    QCOMPARE(windowsOf<PRSSFeedView>().size(), 1);
    PRSSFeedView *view = windowsOf<PRSSFeedView>().constFirst();
    QVERIFY(view->isVisible());
    QVERIFY(!view->parent());
    QCOMPARE(f->sentSince(from), QStringList{activation(view)});

    view->showMinimized();
    deliver(61812, {-1, -1});
    QCOMPARE(windowsOf<PRSSFeedView>(), QList<PRSSFeedView *>{view});
    QVERIFY(!view->isMinimized());
    QCOMPARE(f->sentSince(from), QStringList({activation(view), activation(view)}));

    // The item-state command refreshes the feed in the open viewer.
    QCOMPARE(deliver(61823, {1, 3}), Request::Outcome::Succeeded);
}

void tst_PluginWindows::viewerSignalsReachThePlugin()
{
    deliver(61812, {-1, -1});
    PRSSFeedView *view = windowsOf<PRSSFeedView>().value(0);
    QVERIFY(view);
    const int from = f->router.count();
    emit view->sendItemStateChanged(1, 3, 4);
    emit view->sendChangeFeeds(3, true);
    emit view->sendRenameFeed(3);
    emit view->sendSaveGroups();
    QCOMPARE(f->sentSince(from),
        QStringList({"41,61822 0:u8:1 0:u32:3 0:u32:4", "41,61818 0:u16:1 0:i32:3",
            "41,6 687:s1:Three 657:u16:2 781:u32:1 774:s1:http://127.0.0.1/three "
            "787:u32:1",
            "41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:2 "
            "781:u32:1"}));

    // Questions asked for the viewer have it as their parent.
    PMessageBox::scriptAnswers({0});
    emit view->clearFeed(QStringLiteral("http://127.0.0.1/three"), true);
    QCOMPARE(PMessageBox::asked().size(), 1);
    QCOMPARE(PMessageBox::asked().at(0).parent.data(), view);
}

void tst_PluginWindows::shutdownClosesTheViewer()
{
    deliver(61812, {-1, -1});
    QPointer<PRSSFeedView> view = windowsOf<PRSSFeedView>().value(0);
    QVERIFY(view);
    f->plugin->shutdown();
    QVERIFY(!view || !view->isVisible());
    QTRY_VERIFY(!view);
}

void tst_PluginWindows::wizardRunsModallyOnce()
{
    const int from = f->router.count();
    bool checked = false;
    QPointer<PWizard_Standard2> shown;
    whileModal<PWizard_Standard2>([&](PWizard_Standard2 *dialog) {
        shown = dialog;
        QCOMPARE(dialog->size(), QSize(580, 480));
        QVERIFY(dialog->isFixed());
        auto *mission = qobject_cast<AboWizzard *>(dialog->mission());
        QVERIFY(mission);
        QCOMPARE(mission->parent(), dialog);
        // A second request while the wizard is open opens no other.
        f->plugin->startAboWindow();
        QCOMPARE(windowsOf<PWizard_Standard2>().size(), 1);
        // What the wizard subscribes reaches the plug-in.
        emit mission->saveFeed(QStringLiteral("http://127.0.0.1/w"), QStringLiteral("W"), 55);
        checked = true;
    });
    QCOMPARE(deliver(61809), Request::Outcome::Succeeded);
    QVERIFY(checked);
    QVERIFY(!shown);
    // Activated before it runs, so before anything it subscribes.
    const QStringList sent = f->commandsSince(from);
    QVERIFY(sent.contains(QStringLiteral("1,61682")));
    QVERIFY(sent.indexOf(QStringLiteral("1,61682")) < sent.indexOf(QStringLiteral("41,4")));
    QCOMPARE(PluginFixture::value(
                 QStringLiteral("select farmid from feeds where source = 'http://127.0.0.1/w'"))
                 .toInt(),
        55);
}

void tst_PluginWindows::settingsFromClientRunsModallyOnce()
{
    bool checked = false;
    QPointer<PConfigDialog> shown;
    int from = 0;
    whileModal<PConfigDialog>([&](PConfigDialog *dialog) {
        shown = dialog;
        QVERIFY(!dialog->parent());
        f->plugin->startSettingsDialog(true);
        QCOMPARE(windowsOf<PConfigDialog>().size(), 1);
        from = f->router.count();
        emit dialog->sendShowFeed(3);
        emit dialog->sendHideFeed(3);
        emit dialog->sendNewOptions();
        checked = true;
    });
    QCOMPARE(deliver(61811), Request::Outcome::Succeeded);
    QVERIFY(checked);
    QVERIFY(!shown);
    const QString changed = QStringLiteral(
        "41,6 687:s1:Three 657:u16:2 781:u32:1 774:s1:http://127.0.0.1/three 787:u32:1");
    QCOMPARE(f->sentSince(from),
        QStringList({"41,61819 0:u32:3", changed, "41,61820 0:u32:3", changed, "41,61821"}));
}

void tst_PluginWindows::settingsFromViewerSitsOnTheViewer()
{
    deliver(61812, {-1, -1});
    PRSSFeedView *view = windowsOf<PRSSFeedView>().value(0);
    QVERIFY(view);
    bool checked = false;
    whileModal<PConfigDialog>([&](PConfigDialog *dialog) {
        const QPoint centre = view->geometry().center();
        QCOMPARE(dialog->pos(),
            QPoint(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2));
        checked = true;
    });
    emit view->sendOptions();
    QVERIFY(checked);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    tst_PluginWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pluginwindows.moc"
