#include "core/data/instancelock.h"

#include "core/data/dberror.h"
#include "core/data/fileguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace bankprep {

InstanceLock::InstanceLock(const QString& databasePath)
    : m_path(QFileInfo(databasePath).absoluteFilePath())
{
}

InstanceLock::~InstanceLock()
{
    unlock();
}

void InstanceLock::lock()
{
    if (m_fd >= 0)
        return;
    const QByteArray path = QFile::encodeName(m_path);
    // Read-only is enough for flock, and works on a file the clerk may only read (the
    // connection then says why it cannot be used).
    int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT)
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw DbError(QStringLiteral("无法打开数据库文件“%1”：%2")
                          .arg(QDir::toNativeSeparators(m_path), FileGuard::describeErrno(errno)));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            throw DbError(QStringLiteral("本程序已经在运行，并且正在使用数据库“%1”。\n"
                                         "请切换到已打开的窗口；同一数据库不能同时由两个窗口编辑。")
                              .arg(QDir::toNativeSeparators(m_path)));
        }
        throw DbError(QStringLiteral("无法锁定数据库文件“%1”：%2")
                          .arg(QDir::toNativeSeparators(m_path), FileGuard::describeErrno(err)));
    }
    m_fd = fd;
}

void InstanceLock::unlock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace bankprep
