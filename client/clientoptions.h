#pragma once

#include <QString>
#include <QStringList>

// What the command line asked for.
struct ClientOptions
{
    QString home; // empty: the platform's per-user application data location
    quint32 user = 1;
    QString serverFile; // a file or a postgresql:// address; empty: HOME/server/store.sqlite
    QString catalogueFile; // empty: the catalogue shipped with the client
    QString brand = QStringLiteral("pellix");
    QString proxy; // empty: the environment's proxy variables
    bool offline = false;
    QString messageLog;
    QString language; // "de", "en"; empty: English
    QString open; // "viewer", "wizard", "settings" or empty
    QStringList subscribe;
    bool update = false;
    QString discover; // an address: find its feeds without a window, print them, exit
    bool quitAfterSync = false;
    QString importOpml; // a subscription list to import, "-" for standard input
    QString exportOpml; // where to write the subscription list, "-" for standard output

    // Runs that need no window.
    bool headless() const { return update || !importOpml.isEmpty() || !exportOpml.isEmpty(); }
    QStringList copyStore; // FROM and TO: copy one server store into another and exit
};
