#pragma once

#include <QString>

namespace bankprep {

// Keeps a second copy of the desktop program off the same database file. The lock is
// an operating-system lock (flock) on the database file itself, so every name that
// reaches the file (a symlink, a hard link, another relative path) meets the same lock;
// it disappears with the process, so a copy that was killed or crashed never blocks the
// next start. flock locks are independent of SQLite's POSIX locks, but the descriptor
// must stay open until the database is closed: closing it releases SQLite's locks too.
// A missing database file is created empty (the connection then gives it the schema).
class InstanceLock
{
public:
    explicit InstanceLock(const QString& databasePath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock, or throws DbError saying why not (another copy runs, or the file
    // cannot be opened). Taking a lock already held does nothing.
    void lock();
    // Only after the database connection is closed.
    void unlock();
    bool isLocked() const { return m_fd >= 0; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace bankprep
