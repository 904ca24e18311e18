#pragma once

#include "host/protocol.h"

#include <QList>
#include <QString>

// What the plug-in sent for the server while the server could not be reached:
// one file per user in a folder of the home, one message per line, oldest
// first. It is handed to the store before the next synchronisation answers.
class Outbox
{
public:
    explicit Outbox(const QString &directory);

    QString fileFor(quint32 user) const;
    // False (nothing kept) when the file cannot be written.
    bool append(quint32 user, const Protocol &message);
    // In the order they were sent; a line that cannot be read is skipped.
    QList<Protocol> messages(quint32 user) const;
    // Removes the first count messages, keeping any that came after them.
    bool remove(quint32 user, int count);

private:
    QString m_directory;
};
