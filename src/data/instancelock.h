#pragma once

#include <QString>

namespace bankprep {

// Keeps a second copy of the desktop program off the same database file. The lock is
// an operating-system lock on a companion file: it disappears with the process, so a
// copy that was killed or crashed never blocks the next start.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& databasePath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock. On false, errorMessage() tells why
    // (another copy runs, or the lock file cannot be made).
    bool tryLock();
    void unlock();
    bool isLocked() const { return m_fd >= 0; }
    const QString& errorMessage() const { return m_error; }
    const QString& lockFilePath() const { return m_lockPath; }

private:
    QString m_lockPath;
    QString m_error;
    int m_fd = -1;
};

} // namespace bankprep
