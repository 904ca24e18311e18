#include "homelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace {

QString lockFileName(const QString &directory, quint32 user)
{
    return QDir(directory).filePath(QString::number(user) + QStringLiteral(".lock"));
}

void configure(QLockFile &file)
{
    // A running client holds its lock for days: only a dead owner makes it stale.
    file.setStaleLockTime(0);
}

} // namespace

HomeLock::HomeLock(const QString &home, quint32 user)
    : m_home(QFileInfo(home).absoluteFilePath()),
      m_user(user),
      m_directory(QDir(m_home).filePath(QStringLiteral("run")))
{
    QDir().mkpath(m_directory);
    m_file = std::make_unique<QLockFile>(lockFileName(m_directory, user));
    configure(*m_file);
}

HomeLock::~HomeLock()
{
    unlock();
}

bool HomeLock::tryLock()
{
    if (!m_locked)
        m_locked = m_file->tryLock(0);
    return m_locked;
}

bool HomeLock::lock()
{
    if (!m_locked)
        m_locked = m_file->lock();
    return m_locked;
}

void HomeLock::unlock()
{
    if (m_locked)
        m_file->unlock();
    m_locked = false;
}

QString HomeLock::serverName() const
{
    // Local socket paths are short; the home's path can be long.
    const QByteArray hash
        = QCryptographicHash::hash(QDir(m_home).canonicalPath().toUtf8(), QCryptographicHash::Sha1)
              .toHex()
              .left(16);
    return QStringLiteral("pellix-%1-%2").arg(QString::fromLatin1(hash)).arg(m_user);
}

bool HomeLock::othersRunning() const
{
    const QString own = QString::number(m_user) + QStringLiteral(".lock");
    const QStringList locks = QDir(m_directory).entryList({QStringLiteral("*.lock")}, QDir::Files);
    for (const QString &name : locks) {
        if (name == own)
            continue;
        // Taking the lock for a moment tells whether its owner lives; a stale one
        // is removed on the way.
        QLockFile other(QDir(m_directory).filePath(name));
        configure(other);
        if (!other.tryLock(0))
            return true;
        other.unlock();
    }
    return false;
}

void HomeLock::removeLeftovers(const QString &viewerDirectory) const
{
    if (!m_locked)
        return;
    QDir directory(viewerDirectory);
    const QStringList files = othersRunning()
        ? directory.entryList({QString::number(m_user) + QStringLiteral("_channel*_*.html")},
            QDir::Files | QDir::CaseSensitive)
        : directory.entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : files)
        directory.remove(file);
}
