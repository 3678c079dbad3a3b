#include "core/export/filewriter.h"

#include "core/data/dberror.h"
#include "core/data/fileguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bankprep {

namespace {

const QLatin1String kMarker(".bankprep-");

struct Target
{
    QString requested; // the name the clerk gave
    QString path;      // the file actually replaced (a symlink's target)
    QString temp;
    bool existed = false;
    struct stat st
    {
    };
};

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void fail(const QString& name, const QString& what, int error)
{
    throw DbError(QStringLiteral("无法写入文件“%1”：%2（%3）。原有文件未被改动。")
                      .arg(native(name), FileGuard::describeErrno(error), what));
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool ownerAlive(qint64 pid)
{
    if (pid <= 0 || pid == qint64(::getpid()))
        return false; // our own earlier leftovers cannot still be in progress
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// Writes `bytes` to a new file `path`, unbuffered, checking every write, and flushes it
// to the disk. On failure the file is removed and errno describes why.
bool writeWhole(const QString& path, const QByteArray& bytes, const Target& t)
{
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          t.existed ? 0600 : 0666);
    if (fd < 0)
        return false;
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qint64>(left, 1 << 20)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n == 0 ? ENOSPC : errno;
            break;
        }
        p += n;
        left -= n;
    }
    if (!err && t.existed) {
        // The replaced file keeps its permissions (and, for root, its owner).
        ::fchmod(fd, t.st.st_mode & 07777);
        if (::geteuid() == 0 && ::fchown(fd, t.st.st_uid, t.st.st_gid) != 0) {
            // Keeping root as owner is harmless; the contents are what matters.
        }
    }
    // A write the disk accepted only into its cache can still fail here.
    if (!err && ::fsync(fd) != 0)
        err = errno;
    // Flushed pages are dropped from the cache: reading the file back reads the disk.
    if (!err)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (::close(fd) != 0 && !err)
        err = errno;
    if (err) {
        ::unlink(encoded(path).constData());
        errno = err;
        return false;
    }
    return true;
}

Target resolve(const QString& requested, const QString& token)
{
    FileGuard::checkOutputTarget(requested);
    Target t;
    t.requested = requested;
    const QFileInfo info(requested);
    t.path = info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
    t.existed = ::stat(encoded(t.path).constData(), &t.st) == 0;
    const QFileInfo resolved(t.path);
    // Hidden, and recognisable by the next export as ours (see recoverInterruptedExports).
    QString base = resolved.fileName();
    while (encoded(base).size() > 180)
        base.chop(1);
    t.temp = resolved.absolutePath() + QStringLiteral("/.") + base + kMarker + token +
             QStringLiteral(".tmp");
    return t;
}

QString manifestPath(const QString& folder, const QString& token)
{
    return folder + QStringLiteral("/") + kMarker + token + QStringLiteral(".commit");
}

bool writeManifest(const QString& path, const std::vector<Target>& targets)
{
    QByteArray text;
    for (const Target& t : targets)
        text +=
            encoded(t.temp).toPercentEncoding() + '\t' + encoded(t.path).toPercentEncoding() + '\n';
    Target fresh;
    return writeWhole(path, text, fresh);
}

void removeTemps(const std::vector<Target>& targets, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        ::unlink(encoded(targets[i].temp).constData());
}

} // namespace

void recoverInterruptedExports(const QString& folder)
{
    static const QRegularExpression commitName(
        QStringLiteral("^\\.bankprep-(\\d+)-([0-9a-f]+)\\.commit$"));
    static const QRegularExpression tempName(
        QStringLiteral("^\\..+\\.bankprep-(\\d+)-([0-9a-f]+)\\.tmp$"));
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral(".*bankprep-*")}, QDir::Files | QDir::Hidden | QDir::System);

    // First complete the exports that had written every file before they stopped.
    for (const QString& name : names) {
        const QRegularExpressionMatch m = commitName.match(name);
        if (!m.hasMatch() || ownerAlive(m.captured(1).toLongLong()))
            continue;
        const QString note = dir.filePath(name);
        QFile f(note);
        if (f.open(QIODevice::ReadOnly)) {
            const QString token = m.captured(1) + QLatin1Char('-') + m.captured(2);
            for (const QByteArray& line : f.readAll().split('\n')) {
                const QList<QByteArray> parts = line.split('\t');
                if (parts.size() != 2)
                    continue;
                const QString temp = QFile::decodeName(QByteArray::fromPercentEncoding(parts[0]));
                const QString target = QFile::decodeName(QByteArray::fromPercentEncoding(parts[1]));
                // Only a temporary file of that export, onto a name in its own folder.
                const QFileInfo ti(temp);
                if (!ti.fileName().endsWith(kMarker + token + QStringLiteral(".tmp")) ||
                    ti.absolutePath() != QFileInfo(target).absolutePath())
                    continue;
                struct stat st
                {
                };
                if (::lstat(encoded(temp).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                    FileGuard::isAllowedOutputTarget(target))
                    ::rename(encoded(temp).constData(), encoded(target).constData());
            }
            f.close();
        }
        syncFolder(folder);
        ::unlink(encoded(note).constData());
    }
    // Then remove what exports that stopped while writing left behind.
    for (const QString& name : names) {
        const QRegularExpressionMatch m = tempName.match(name);
        if (!m.hasMatch() || ownerAlive(m.captured(1).toLongLong()))
            continue;
        struct stat st
        {
        };
        const QByteArray path = encoded(dir.filePath(name));
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.constData());
    }
}

namespace {

// Every target checked before anything is written; interrupted exports into their
// folders finished or cleaned up first.
std::vector<Target> resolveTargets(const QStringList& paths, const QString& token,
                                   QSet<QString>* folders)
{
    std::vector<Target> targets;
    targets.reserve(size_t(paths.size()));
    for (const QString& p : paths) {
        targets.push_back(resolve(p, token));
        folders->insert(QFileInfo(targets.back().path).absolutePath());
    }
    for (const QString& folder : *folders)
        recoverInterruptedExports(folder);
    return targets;
}

// Each file complete in its temporary file, one at a time; on a failure the temporaries
// written so far go and nothing is replaced.
void writeTemps(std::vector<Target>& targets, const QList<QByteArray>& contents)
{
    for (size_t i = 0; i < targets.size(); ++i) {
        if (writeWhole(targets[i].temp, contents.at(qsizetype(i)), targets[i]))
            continue;
        const int e = errno;
        removeTemps(targets, i);
        if (e == EACCES || e == EPERM || e == EROFS) {
            // The file itself may be writable: a whole new file has to be made beside it.
            throw DbError(
                QStringLiteral("无法导出到“%1”：不能在文件夹“%2”中创建文件（%3）。导出文件要先在"
                               "同一文件夹中完整写好，再替换原来的文件；请选择可以写入的文件夹，"
                               "或修改这个文件夹的权限。原有文件未被改动。")
                    .arg(native(targets[i].requested),
                         native(QFileInfo(targets[i].path).absolutePath()),
                         FileGuard::describeErrno(e)));
        }
        fail(targets[i].requested, QStringLiteral("写入时出错"), e);
    }
}

// For several files, the note that lets the next export finish an interrupted set of
// renames. Returns its path (empty for one file).
QString writeCommitNote(const std::vector<Target>& targets, const QString& token)
{
    if (targets.size() < 2)
        return QString();
    const QString folder = QFileInfo(targets.front().path).absolutePath();
    const QString note = manifestPath(folder, token);
    if (!writeManifest(note, targets)) {
        const int e = errno;
        removeTemps(targets, targets.size());
        fail(targets.front().requested, QStringLiteral("写入时出错"), e);
    }
    syncFolder(folder);
    return note;
}

// Now into place. A rename in one folder of a file already on the disk does not fail
// for lack of space; should one fail anyway, the others still go in and the commit
// note stays, so that the set is completed by the next export.
void moveIntoPlace(const std::vector<Target>& targets, const QSet<QString>& folders,
                   const QString& note)
{
    QString failed;
    int failedErrno = 0;
    for (const Target& t : targets) {
        if (::rename(encoded(t.temp).constData(), encoded(t.path).constData()) != 0 &&
            failed.isEmpty()) {
            failed = t.requested;
            failedErrno = errno;
        }
    }
    if (!failed.isEmpty() && targets.size() == 1) {
        removeTemps(targets, 1);
        fail(failed, QStringLiteral("无法替换原文件"), failedErrno);
    }
    for (const QString& folder : folders)
        syncFolder(folder);
    if (!failed.isEmpty()) {
        throw DbError(QStringLiteral("无法保存文件“%1”：%2。下次导出到这个文件夹时会完成这次导出。")
                          .arg(native(failed), FileGuard::describeErrno(failedErrno)));
    }
    if (!note.isEmpty()) {
        ::unlink(encoded(note).constData());
        syncFolder(QFileInfo(targets.front().path).absolutePath());
    }
}

} // namespace

void writeFilesAtomically(
    const QStringList& paths, const QList<QByteArray>& contents,
    const std::function<void(qsizetype index, const QString& writtenPath)>& verify)
{
    Q_ASSERT(paths.size() == contents.size());
    if (paths.isEmpty())
        return;
    const QString token = QStringLiteral("%1-%2")
                              .arg(::getpid())
                              .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    QSet<QString> folders;
    std::vector<Target> targets = resolveTargets(paths, token, &folders);
    writeTemps(targets, contents);
    if (verify) {
        try {
            for (size_t i = 0; i < targets.size(); ++i)
                verify(qsizetype(i), targets[i].temp);
        } catch (...) {
            removeTemps(targets, targets.size());
            throw;
        }
    }
    const QString note = writeCommitNote(targets, token);
    moveIntoPlace(targets, folders, note);
}

} // namespace bankprep
