#pragma once

#include "clientoptions.h"

#include <QCoreApplication>

class QIODevice;

// The later start's end of the hand-over (see InstanceServer): sends the
// command line to the owner and prints what comes back.
class HandOver
{
    Q_DECLARE_TR_FUNCTIONS(HandOver)

public:
    enum Result {
        Done, // the owner ran it; exitCode() is the run's code
        Busy, // the owner cannot take it (it runs without a window)
        NoAnswer // nobody listens, or the owner went away before it answered
    };

    Result send(const QString &serverName, const ClientOptions &options, QIODevice *output,
        QIODevice *errors, int connectTimeoutMs = 10000);
    int exitCode() const { return m_exitCode; }

private:
    int m_exitCode = 1;
};
