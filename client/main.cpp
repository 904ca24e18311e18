#include "client/clientapplication.h"
#include "client/commandline.h"
#include "client/serverstore.h"
#include "client/terminationsignals.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    CommandLine commandLine;
    switch (commandLine.parse(arguments)) {
    case CommandLine::Help:
        std::fputs(qPrintable(commandLine.helpText()), stdout);
        return 0;
    case CommandLine::Error:
        std::fprintf(stderr, "pellix: %s\nTry 'pellix --help' for the list of options.\n",
            qPrintable(commandLine.errorText()));
        return CommandLine::UsageExitCode;
    case CommandLine::Run:
        break;
    }
    const ClientOptions &options = commandLine.options();
    if (!options.discover.isEmpty()) {
        // Discovery needs neither a display nor the plug-in.
        QCoreApplication app(argc, argv);
        return ClientApplication::discover(options);
    }

    if (!options.copyStore.isEmpty()) {
        QCoreApplication app(argc, argv);
        int copied = 0;
        QString error;
        if (!ServerStore::copy(options.copyStore.at(0), options.copyStore.at(1), &copied, &error)) {
            std::fprintf(stderr, "pellix: %s\n%s\n", qPrintable(error),
                qPrintable(QCoreApplication::translate(
                    "ServerStore", "Nothing was copied; both stores are as they were.")));
            return 1;
        }
        std::printf("%s\n",
            qPrintable(QCoreApplication::translate("ServerStore", "Users copied: %1").arg(copied)));
        return 0;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // Headless runs need no display, and a run that only synchronises
        // can do without one.
        const bool display = !qEnvironmentVariableIsEmpty("DISPLAY")
            || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        if (options.headless() || (options.quitAfterSync && !display)) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else if (!display) {
            std::fputs("pellix: there is no display (DISPLAY is not set). Start it on a desktop, "
                       "or set QT_QPA_PLATFORM=offscreen to run it without a visible window.\n",
                stderr);
            return 1;
        }
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellix"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));

    ClientApplication client(options);
    // Ended from outside (a logout, kill, Ctrl+C), the client shuts down as Quit does.
    TerminationSignals termination;
    QObject::connect(
        &termination, &TerminationSignals::received, &client, [&client] { client.quit(0); });
    if (!client.start())
        return client.exitCode();
    const int code = app.exec();
    client.shutdown();
    return code;
}
