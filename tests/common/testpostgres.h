#pragma once

// A PostgreSQL server of the test's own: a new cluster in a temporary folder,
// listening on a free port of 127.0.0.1 with its socket in that folder, stopped
// and removed with this object. Run as root, the server's programs run as the
// postgres user, which owns the folder. The superuser is "pellix", trusted
// without a password.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVersionNumber>

#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class TestPostgres
{
public:
    TestPostgres() = default;
    TestPostgres(const TestPostgres &) = delete;
    TestPostgres &operator=(const TestPostgres &) = delete;
    ~TestPostgres() { stop(); }

    // The folder with initdb and pg_ctl: Debian keeps them per major version,
    // off PATH; the newest installed one is taken.
    static QString binDir()
    {
        QVersionNumber newest;
        QString found;
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        for (const QString &version : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString bin = root.filePath(version + QStringLiteral("/bin"));
            const QVersionNumber number = QVersionNumber::fromString(version);
            if (QFile::exists(bin + QStringLiteral("/initdb")) && number > newest) {
                newest = number;
                found = bin;
            }
        }
        if (found.isEmpty()) {
            const QString onPath = QStandardPaths::findExecutable(QStringLiteral("initdb"));
            if (!onPath.isEmpty())
                found = QFileInfo(onPath).absolutePath();
        }
        return found;
    }

    // Why this machine cannot run one (no server programs, no Qt driver); empty if it can.
    static QString missing()
    {
        if (binDir().isEmpty())
            return QStringLiteral("the PostgreSQL server programs are not installed");
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
            return QStringLiteral("Qt's PostgreSQL driver is not installed");
        return QString();
    }

    // Starts the server at the first call; why it could not, else empty.
    QString startOnce()
    {
        if (!m_tried) {
            m_tried = true;
            m_problem = missing();
            if (m_problem.isEmpty())
                start(&m_problem);
        }
        return m_problem;
    }

    bool start(QString *reason)
    {
        m_dir
            = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pgtest-XXXXXX"));
        if (!m_dir->isValid())
            return failed(reason, QStringLiteral("no temporary folder"));
        m_data = m_dir->filePath(QStringLiteral("data"));
        if (geteuid() == 0) {
            // initdb and the server refuse to run as root.
            const passwd *postgres = getpwnam("postgres");
            if (!postgres)
                return failed(reason, QStringLiteral("running as root without a postgres user"));
            if (chown(QFile::encodeName(m_dir->path()).constData(), postgres->pw_uid,
                    postgres->pw_gid)
                != 0)
                return failed(reason, QStringLiteral("cannot give the folder to postgres"));
            m_runAs = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                QStringLiteral("--")};
        }
        QString output;
        if (!runTool(QStringLiteral("initdb"),
                {QStringLiteral("-D"), m_data, QStringLiteral("-A"), QStringLiteral("trust"),
                    QStringLiteral("-U"), QStringLiteral("pellix"), QStringLiteral("-E"),
                    QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
                &output))
            return failed(reason, QStringLiteral("initdb failed: ") + output);
        m_port = freePort();
        if (!control(QStringLiteral("start"), &output))
            return failed(reason, QStringLiteral("pg_ctl start failed: ") + output);
        m_running = true;
        return true;
    }

    // Stops the server at once, dropping every connection, and starts it again.
    bool restart(QString *reason = nullptr)
    {
        QString output;
        if (!control(QStringLiteral("restart"), &output))
            return failed(reason, QStringLiteral("pg_ctl restart failed: ") + output);
        return true;
    }

    void stop()
    {
        if (m_running) {
            QString output;
            runTool(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"),
                    QStringLiteral("-w"), QStringLiteral("stop")},
                &output);
            m_running = false;
        }
        m_dir.reset();
    }

    int port() const { return m_port; }
    QString address(const QString &database) const
    {
        return QStringLiteral("postgresql://pellix@127.0.0.1:%1/%2").arg(m_port).arg(database);
    }

    // The address of a new, empty database, the server started first if need be; empty,
    // with the reason in problem, where there is none.
    QString newDatabaseAddress(QString *problem)
    {
        *problem = startOnce();
        const QString database = problem->isEmpty() ? createDatabase(problem) : QString();
        return database.isEmpty() ? QString() : address(database);
    }

    // A new, empty database; its name is returned.
    QString createDatabase(QString *reason = nullptr)
    {
        const QString name = QStringLiteral("store%1").arg(++m_databases);
        return execute(
                   QStringLiteral("create database ") + name, QStringLiteral("postgres"), reason)
            ? name
            : QString();
    }

    bool execute(const QString &statement, const QString &database, QString *reason = nullptr)
    {
        return select(statement, database, nullptr, reason);
    }

    // The rows of a statement, their values joined by "|".
    QStringList rows(const QString &statement, const QString &database)
    {
        QStringList result;
        select(statement, database, &result, nullptr);
        return result;
    }

private:
    static bool failed(QString *reason, const QString &text)
    {
        if (reason)
            *reason = text;
        return false;
    }

    bool select(const QString &statement, const QString &database, QStringList *result,
        QString *reason) const
    {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(
                QStringLiteral("QPSQL"), QStringLiteral("testpostgres"));
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setUserName(QStringLiteral("pellix"));
            db.setDatabaseName(database);
            QSqlQuery query(db);
            ok = db.open() && query.exec(statement);
            if (!ok && reason)
                *reason = db.isOpen() ? query.lastError().text() : db.lastError().text();
            while (ok && result && query.next()) {
                QStringList values;
                for (int i = 0; i < query.record().count(); ++i)
                    values.append(query.value(i).toString());
                result->append(values.join(QLatin1Char('|')));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("testpostgres"));
        return ok;
    }

    bool control(const QString &command, QString *output) const
    {
        const QString options
            = QStringLiteral("-k %1 -h 127.0.0.1 -p %2 -F").arg(m_dir->path()).arg(m_port);
        return runTool(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_data, QStringLiteral("-l"),
                m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("-o"), options,
                command},
            output);
    }

    static int freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    bool runTool(const QString &tool, const QStringList &arguments, QString *output) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        // The postgres user cannot enter the test's working folder.
        process.setWorkingDirectory(m_dir->path());
        const QString program = binDir() + QLatin1Char('/') + tool;
        if (m_runAs.isEmpty())
            process.start(program, arguments);
        else
            process.start(m_runAs.constFirst(), m_runAs.mid(1) + QStringList{program} + arguments);
        const bool finished = process.waitForFinished(120000);
        *output = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data;
    QStringList m_runAs;
    int m_port = 0;
    int m_databases = 0;
    bool m_running = false;
    bool m_tried = false;
    QString m_problem;
};
