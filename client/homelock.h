#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One process owns a user's files in a home: the lock file HOME/run/<user>.lock
// says which. A lock left by a process that died is taken over.
class HomeLock
{
public:
    HomeLock(const QString &home, quint32 user);
    ~HomeLock();
    HomeLock(const HomeLock &) = delete;
    HomeLock &operator=(const HomeLock &) = delete;

    // True when this process now owns the home for the user.
    bool tryLock();
    // Waits until the owner ends, then owns it.
    bool lock();
    bool isLocked() const { return m_locked; }
    void unlock();

    // The name the owner listens on for the command lines of later starts; the
    // same for every process that names the same home and user.
    QString serverName() const;
    // Whether a process of another user of this home is running.
    bool othersRunning() const;
    // Removes what a process of this user that ended without its shutdown left
    // in the viewer's directory: its pages, and the shared files when no other
    // user of the home runs. Only for the owner.
    void removeLeftovers(const QString &viewerDirectory) const;

private:
    QString m_home;
    quint32 m_user;
    QString m_directory;
    std::unique_ptr<QLockFile> m_file;
    bool m_locked = false;
};
