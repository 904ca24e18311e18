#pragma once

#include "clientoptions.h"
#include <QCoreApplication>

#include <QString>
#include <QStringList>

// The client's command line: flags, their values and what is wrong with them.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    enum Result { Run, Help, Error };

    // arguments include the program name first, as argv does.
    Result parse(const QStringList &arguments);

    const ClientOptions &options() const { return m_options; }
    QString errorText() const { return m_error; }
    QString helpText() const { return m_help; }

    // Exit code for a command line that cannot be run.
    static constexpr int UsageExitCode = 2;

private:
    ClientOptions m_options;
    QString m_error;
    QString m_help;
};
