#include "core/data/fileguard.h"

#include "core/data/dberror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bankprep::FileGuard {

namespace {

QMutex g_mutex;
QStringList g_databases; // absolute paths, one entry per open connection

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool statPath(const QString& path, struct stat* st, bool follow = true)
{
    const QByteArray p = QFile::encodeName(path);
    return (follow ? ::stat(p.constData(), st) : ::lstat(p.constData(), st)) == 0;
}

// Every name under which the files of an open database can be reached.
QStringList companionPaths(const QString& db)
{
    QStringList names{db};
    const QString canonical = QFileInfo(db).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != db)
        names << canonical;
    QStringList out;
    for (const QString& n : names) {
        out << n;
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            out << n + QLatin1String(suffix);
    }
    return out;
}

QString specialKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("一个文件夹");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("一个设备文件");
    if (S_ISFIFO(mode))
        return QStringLiteral("一个管道（FIFO）");
    if (S_ISSOCK(mode))
        return QStringLiteral("一个套接字");
    return QStringLiteral("一个特殊文件");
}

} // namespace

void registerDatabase(const QString& path)
{
    const QMutexLocker lock(&g_mutex);
    g_databases << QFileInfo(path).absoluteFilePath();
}

void unregisterDatabase(const QString& path)
{
    const QMutexLocker lock(&g_mutex);
    g_databases.removeOne(QFileInfo(path).absoluteFilePath());
}

bool isDatabaseFile(const QString& path)
{
    struct stat target
    {
    };
    if (!statPath(path, &target))
        return false;
    QStringList dbs;
    {
        const QMutexLocker lock(&g_mutex);
        dbs = g_databases;
    }
    for (const QString& db : dbs) {
        for (const QString& name : companionPaths(db)) {
            struct stat st
            {
            };
            if (statPath(name, &st) && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
                return true;
        }
    }
    return false;
}

namespace {

// Why `path` cannot be read as an input file, or empty.
QString inputRefusal(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("没有指定文件。");
    struct stat st
    {
    };
    if (!statPath(path, &st)) {
        return errno == ENOENT || errno == ENOTDIR
                   ? QStringLiteral("文件“%1”不存在。").arg(native(path))
                   : QStringLiteral("无法读取文件“%1”：%2").arg(native(path), describeErrno(errno));
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("“%1”是%2，不是普通文件，不能读取。")
            .arg(native(path), specialKind(st.st_mode));
    if (isDatabaseFile(path))
        return QStringLiteral("“%1”是本程序正在使用的数据库文件，不能作为导入文件。")
            .arg(native(path));
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return QStringLiteral("没有读取文件“%1”的权限。").arg(native(path));
    return QString();
}

} // namespace

void checkInputFile(const QString& path)
{
    const QString refusal = inputRefusal(path);
    if (!refusal.isEmpty())
        throw DbError(refusal);
}

QByteArray readInputFile(const QString& path)
{
    checkInputFile(path);
    // Non-blocking, so that a file swapped for a FIFO since the check cannot hang the
    // program; the descriptor's own status is checked again.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw DbError(
            QStringLiteral("无法打开文件“%1”：%2").arg(native(path), describeErrno(errno)));
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw DbError(QStringLiteral("“%1”不是普通文件，不能读取。").arg(native(path)));
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            throw DbError(
                QStringLiteral("读取文件“%1”时出错：%2").arg(native(path), describeErrno(e)));
        }
        if (n == 0)
            break;
        bytes.append(buffer, qsizetype(n));
    }
    ::close(fd);
    return bytes;
}

namespace {

// Why `path` may not be an export target, or empty.
QString outputRefusal(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("没有指定要导出的文件名。");
    struct stat st
    {
    };
    if (!statPath(path, &st, false)) {
        if (errno != ENOENT)
            return QStringLiteral("无法写入文件“%1”：%2").arg(native(path), describeErrno(errno));
        const QFileInfo dir(QFileInfo(path).absolutePath());
        if (!dir.isDir())
            return QStringLiteral("文件夹“%1”不存在，无法导出。").arg(native(dir.filePath()));
        return QString();
    }
    if (S_ISLNK(st.st_mode)) {
        if (!statPath(path, &st))
            return QStringLiteral("“%1”是一个指向不存在的文件的符号链接，不能作为导出文件。")
                .arg(native(path));
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("“%1”是%2，不是普通文件，不能作为导出文件。未写入任何内容。")
            .arg(native(path), specialKind(st.st_mode));
    if (isDatabaseFile(path))
        return QStringLiteral("“%1”是本程序的数据库文件，不能被导出文件覆盖。未写入任何内容。")
            .arg(native(path));
    return QString();
}

} // namespace

void checkOutputTarget(const QString& path)
{
    const QString refusal = outputRefusal(path);
    if (!refusal.isEmpty())
        throw DbError(refusal);
}

bool isAllowedOutputTarget(const QString& path)
{
    return outputRefusal(path).isEmpty();
}

QString describeErrno(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额");
    case EFBIG:
        return QStringLiteral("文件超出了系统允许的大小");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有访问权限");
    case EROFS:
        return QStringLiteral("磁盘或文件夹是只读的");
    case EIO:
        return QStringLiteral("磁盘读写错误");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件或文件夹不存在");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正被使用");
    default:
        return QStringLiteral("系统错误 %1（%2）")
            .arg(error)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace bankprep::FileGuard
