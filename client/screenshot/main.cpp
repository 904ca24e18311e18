// Takes pictures of the client's windows for the documentation:
//   pellix-screenshot OUTDIR [--delay MS] [--feed ID] [--tooltip ID] [--properties ID]
//                     [--search TEXT] [client options]
// Starts the client with the given options (--feed opens the viewer on that
// feed once it runs), waits, then saves every visible window as
// OUTDIR/<object name>.png and quits. --tooltip shows the tool tip of a feed in
// the viewer's tree and --properties its properties; both are taken with the
// whole screen, as OUTDIR/tooltip.png and OUTDIR/properties.png. --search types
// TEXT into the viewer's search field.
#include "client/clientapplication.h"
#include "client/commandline.h"

#include "core/rssprotocol.h"
#include "host/protocol.h"
#include "host/wrappluginhelper.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (arguments.size() < 2) {
        std::fputs("usage: pellix-screenshot OUTDIR [--delay MS] [pellix options]\n", stderr);
        return 2;
    }
    const QString output = arguments.takeAt(1);
    auto take = [&arguments](const QString &flag, int fallback) {
        const qsizetype at = arguments.indexOf(flag);
        if (at <= 0 || at + 1 >= arguments.size())
            return fallback;
        const int value = arguments.at(at + 1).toInt();
        arguments.remove(at, 2);
        return value;
    };
    const int delay = take(QStringLiteral("--delay"), 4000);
    const int feed = take(QStringLiteral("--feed"), 0);
    const int tooltip = take(QStringLiteral("--tooltip"), 0);
    const int properties = take(QStringLiteral("--properties"), 0);
    QString search;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--search"));
        at > 0 && at + 1 < arguments.size()) {
        search = arguments.at(at + 1);
        arguments.remove(at, 2);
    }
    CommandLine commandLine;
    if (commandLine.parse(arguments) != CommandLine::Run) {
        std::fprintf(stderr, "pellix-screenshot: %s\n", qPrintable(commandLine.errorText()));
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellix"));
    ClientApplication client(commandLine.options());
    if (!client.start())
        return client.exitCode();
    if (feed > 0) {
        QTimer::singleShot(delay / 4, &app, [feed] {
            Protocol open(ClientMessage::NewsModule, ClientMessage::OpenViewer);
            open.add(0, ProtocolArg::Int32, -1);
            open.add(0, ProtocolArg::Int32, feed);
            WrapPluginHelper::Instance().deliverCommand(
                ClientMessage::NewsModule, ClientMessage::OpenViewer, &open);
        });
    }
    const auto screen = [&output](const QString &name) {
        QDir().mkpath(output);
        const QString file = QDir(output).filePath(name + QStringLiteral(".png"));
        if (QGuiApplication::primaryScreen()->grabWindow(0).save(file))
            std::printf("%s\n", qPrintable(file));
    };
    // The viewer's tree, with the feed made current; null when there is none.
    const auto treeAt = [](int id, QModelIndex *index) -> QTreeView * {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *tree = window->findChild<QTreeView *>(QStringLiteral("myTree"));
            if (!tree || !window->isVisible())
                continue;
            *index = tree->model()
                         ->match(tree->model()->index(0, 0), Qt::UserRole, id, 1,
                             Qt::MatchRecursive | Qt::MatchExactly)
                         .value(0);
            tree->setCurrentIndex(*index);
            return tree;
        }
        return nullptr;
    };
    if (tooltip > 0) {
        QTimer::singleShot(delay * 2 / 3, &app, [&, tooltip] {
            QModelIndex index;
            if (QTreeView *tree = treeAt(tooltip, &index)) {
                const QPoint at = tree->viewport()->mapToGlobal(tree->visualRect(index).center());
                QToolTip::showText(at, index.data(Qt::ToolTipRole).toString(), tree);
                QTimer::singleShot(delay / 6, &app, [&] { screen(QStringLiteral("tooltip")); });
            }
        });
    }
    if (!search.isEmpty()) {
        QTimer::singleShot(delay / 2, &app, [search] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                auto *field = window->findChild<QLineEdit *>(QStringLiteral("searchField"));
                if (field && window->isVisible())
                    field->setText(search);
            }
        });
    }
    if (properties > 0) {
        QTimer::singleShot(delay / 2, &app, [&, properties] {
            QModelIndex index;
            QTreeView *tree = treeAt(properties, &index);
            if (!tree)
                return;
            for (QAction *action : tree->findChildren<QAction *>()) {
                if (action->text() != QLatin1String("Properties"))
                    continue;
                // The dialog is modal: the picture is taken from inside its loop.
                QTimer::singleShot(delay / 6, &app, [&] {
                    screen(QStringLiteral("properties"));
                    if (QWidget *dialog = QApplication::activeModalWidget())
                        dialog->close();
                });
                action->trigger();
                break;
            }
        });
    }
    QTimer::singleShot(delay, &app, [&] {
        QDir().mkpath(output);
        int n = 0;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            const QString name = window->objectName().isEmpty()
                ? QStringLiteral("window%1").arg(++n)
                : window->objectName();
            const QString file = QDir(output).filePath(name + QStringLiteral(".png"));
            if (window->grab().save(file))
                std::printf("%s\n", qPrintable(file));
        }
        client.quit(0);
    });
    const int code = app.exec();
    client.shutdown();
    return code;
}
