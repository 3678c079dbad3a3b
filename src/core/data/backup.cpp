#include "core/data/backup.h"

#include "core/data/connection.h"
#include "core/data/fileguard.h"
#include "core/data/names.h"
#include "core/data/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>
#include <utility>

namespace bankprep {

namespace {

struct ReasonName
{
    BackupReason reason;
    const char* code;
    const char* text;
};

const ReasonName kReasons[] = {
    {BackupReason::Daily, "daily", "每日自动备份"},
    {BackupReason::Manual, "manual", "手工备份"},
    {BackupReason::ClearPayments, "clear-payments", "清空支付指令前"},
    {BackupReason::ClearSalary, "clear-salary", "清空工资表前"},
    {BackupReason::DeleteClassification, "delete-classification", "删除账户分类前"},
    {BackupReason::ImportPayments, "import-payments", "导入支付指令前"},
    {BackupReason::ImportPayees, "import-payees", "导入往来账号前"},
    {BackupReason::ImportSalary, "import-salary", "导入工资文件前"},
    {BackupReason::BeforeRestore, "before-restore", "恢复备份前"},
    {BackupReason::UndoImport, "undo-import", "撤销导入前"},
};

QString reasonCode(BackupReason reason)
{
    for (const ReasonName& r : kReasons) {
        if (r.reason == reason)
            return QString::fromLatin1(r.code);
    }
    return QStringLiteral("manual");
}

// Backups of one database file carry its name first ("data-…" for data.db), so that the
// backups of two databases in one folder are never taken for each other's.
QString namePrefix(const QString& databasePath)
{
    return QFileInfo(databasePath).completeBaseName() + QLatin1Char('-');
}

std::optional<BackupInfo> parseName(const QString& folder, const QString& prefix,
                                    const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{8}-\\d{6}-\\d{3})-([a-z-]+)-P(\\d+)-C(\\d+)-S(\\d+)\\.db$"));
    if (!name.startsWith(prefix))
        return std::nullopt;
    const QRegularExpressionMatch m = pattern.match(QStringView(name).mid(prefix.size()));
    if (!m.hasMatch())
        return std::nullopt;
    BackupInfo info;
    info.time = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (!info.time.isValid())
        return std::nullopt;
    info.path = QDir(folder).filePath(name);
    info.reason = m.captured(2);
    info.payments = m.captured(3).toLongLong();
    info.payees = m.captured(4).toLongLong();
    info.salary = m.captured(5).toLongLong();
    return info;
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// A SQLite handle of its own, closed when left.
class Handle
{
public:
    Handle() = default;
    ~Handle()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    sqlite3* get() const { return m_db; }
    sqlite3** out() { return &m_db; }
    void close()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

DbError handleError(sqlite3* db, int code, const QString& prefix)
{
    const QString text = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    return DbError(prefix + describeSqliteError(code, text), code);
}

// Opens a backup file for reading only, as it is: no -wal or -shm is made beside it.
void openReadOnly(Handle& h, const QString& path)
{
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                               .toString(QUrl::FullyEncoded)
                               .toUtf8() +
                           "?immutable=1";
    const int rc =
        sqlite3_open_v2(uri.constData(), h.out(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK)
        throw handleError(
            h.get(), rc,
            QStringLiteral("无法打开备份文件“%1”：").arg(QDir::toNativeSeparators(path)));
}

// Copies every page of `src` into a new file at `target` (which must not exist), then
// flushes it to the disk. Removes what it wrote when it fails.
void copyInto(sqlite3* src, const QString& target, const QString& failurePrefix)
{
    Handle dest;
    int rc = sqlite3_open_v2(encoded(target).constData(), dest.out(),
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        // A new file written whole: no journal needed; flushed once at the end.
        sqlite3_exec(dest.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr,
                     nullptr, nullptr);
        sqlite3_backup* b = sqlite3_backup_init(dest.get(), "main", src, "main");
        if (!b) {
            rc = sqlite3_errcode(dest.get());
        } else {
            rc = sqlite3_backup_step(b, -1);
            const int finished = sqlite3_backup_finish(b);
            rc = rc == SQLITE_DONE ? finished : rc;
        }
        // The copy is one self-contained file (the live database's write-ahead mode
        // came with its first page): opening it never makes -wal or -shm beside it.
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(dest.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const DbError e = handleError(dest.get(), rc, failurePrefix);
        dest.close();
        QFile::remove(target);
        throw e;
    }
    dest.close();
    const int fd = ::open(encoded(target).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced) {
        QFile::remove(target);
        throw DbError(failurePrefix + FileGuard::describeErrno(err));
    }
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString tempName(const QString& folder, const QString& base)
{
    return QDir(folder).filePath(
        QStringLiteral(".%1.bankprep-%2-%3.tmp")
            .arg(base)
            .arg(::getpid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

void renameInto(const QString& from, const QString& to, const QString& failurePrefix)
{
    if (::rename(encoded(from).constData(), encoded(to).constData()) != 0) {
        const int err = errno;
        QFile::remove(from);
        throw DbError(failurePrefix + FileGuard::describeErrno(err));
    }
}

qint64 countRows(sqlite3* db, const QString& table)
{
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table).toUtf8();
    int rc = sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    if (rc == SQLITE_ERROR) {
        sqlite3_finalize(st);
        return 0; // a table the file lacks holds no rows; the copy is still wanted
    }
    qint64 n = 0;
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW)
        throw handleError(db, rc, QStringLiteral("未能备份数据库："));
    return n;
}

} // namespace

QString BackupInfo::reasonText() const
{
    for (const ReasonName& r : kReasons) {
        if (reason == QLatin1String(r.code))
            return QString::fromUtf8(r.text);
    }
    return reason;
}

QString shownTime(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString backupFolder(const QString& databasePath)
{
    return QDir(QFileInfo(databasePath).absolutePath()).filePath(QStringLiteral("backups"));
}

PendingBackup::PendingBackup(Connection& conn, BackupReason reason, BackupCopy copy,
                             const QDateTime& now)
    : m_databasePath(conn.path()), m_folder(backupFolder(conn.path())),
      m_prefix(namePrefix(conn.path())), m_now(now)
{
    if (!QDir().mkpath(m_folder))
        throw DbError(QStringLiteral("无法创建备份文件夹“%1”（所在目录不可写或磁盘已满）。")
                          .arg(QDir::toNativeSeparators(m_folder)));
    const QString temp = tempName(m_folder, QStringLiteral("backup"));
    const QString prefix =
        QStringLiteral("未能备份数据库到“%1”：").arg(QDir::toNativeSeparators(m_folder));
    m_info.reason = reasonCode(reason);

    // A copy made meanwhile reads through a connection of its own, so that this one can
    // write; SQLite keeps its snapshot from before those writes.
    sqlite3* own = nullptr;
    if (copy == BackupCopy::Meanwhile) {
        const int rc =
            sqlite3_open_v2(encoded(conn.path()).constData(), &own, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const DbError e = handleError(own, rc, prefix);
            sqlite3_close_v2(own);
            throw e;
        }
        sqlite3_busy_timeout(own, 5000);
    }
    sqlite3* src = own ? own : conn.handle();
    // The counts and the copy from one read transaction: what the name says is what the
    // file holds, whatever is committed meanwhile.
    const bool ownTransaction = sqlite3_get_autocommit(src) != 0;
    if (ownTransaction)
        sqlite3_exec(src, "BEGIN", nullptr, nullptr, nullptr);
    const auto end = [src, ownTransaction, own] {
        if (ownTransaction)
            sqlite3_exec(src, "COMMIT", nullptr, nullptr, nullptr);
        if (own)
            sqlite3_close_v2(own);
    };
    try {
        m_info.payments = countRows(src, tbl::Payment);
        m_info.payees = countRows(src, tbl::Company);
        m_info.salary = countRows(src, tbl::Salary);
    } catch (...) {
        end();
        throw;
    }
    m_temp = temp;
    const auto work = [src, temp, prefix, end] {
        try {
            copyInto(src, temp, prefix);
        } catch (...) {
            end();
            throw;
        }
        end();
    };
    if (own) {
        m_copying = std::async(std::launch::async, work);
    } else {
        try {
            work();
        } catch (...) {
            m_temp.clear(); // copyInto removed what it wrote
            throw;
        }
    }
}

PendingBackup::~PendingBackup()
{
    if (m_copying.valid()) {
        try {
            m_copying.get();
        } catch (...) {
            // Dropped unseen: the caller went no further.
        }
    }
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
}

BackupInfo PendingBackup::commit()
{
    if (m_copying.valid()) {
        try {
            m_copying.get();
        } catch (...) {
            m_temp.clear(); // removed by the copy that failed
            throw;
        }
    }
    QString name;
    for (int bump = 0;; ++bump) {
        m_info.time = m_now.addMSecs(bump);
        name = m_prefix +
               QStringLiteral("%1-%2-P%3-C%4-S%5.db")
                   .arg(m_info.time.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")), m_info.reason)
                   .arg(m_info.payments)
                   .arg(m_info.payees)
                   .arg(m_info.salary);
        if (!QFileInfo::exists(QDir(m_folder).filePath(name)))
            break;
    }
    m_info.path = QDir(m_folder).filePath(name);
    const QString temp = std::exchange(m_temp, QString());
    renameInto(temp, m_info.path,
               QStringLiteral("未能备份数据库到“%1”：").arg(QDir::toNativeSeparators(m_folder)));
    syncFolder(m_folder);
    rotateBackups(m_databasePath);
    return m_info;
}

BackupInfo takeBackup(Connection& conn, BackupReason reason, const QDateTime& now)
{
    return PendingBackup(conn, reason, BackupCopy::Now, now).commit();
}

QList<BackupInfo> listBackups(const QString& databasePath)
{
    const QString folder = backupFolder(databasePath);
    QList<BackupInfo> out;
    const QString prefix = namePrefix(databasePath);
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.db")}, QDir::Files);
    for (const QString& name : names) {
        if (auto info = parseName(folder, prefix, name))
            out << *info;
    }
    std::sort(out.begin(), out.end(), [](const BackupInfo& a, const BackupInfo& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    return out;
}

namespace {

// Copies left by a backup whose program was killed while writing it.
void removeAbandonedCopies(const QString& folder)
{
    static const QRegularExpression temp(
        QStringLiteral("^\\.backup\\.bankprep-(\\d+)-[0-9a-f]+\\.tmp$"));
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral(".backup.bankprep-*")}, QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch m = temp.match(name);
        const pid_t pid = pid_t(m.captured(1).toLongLong());
        if (m.hasMatch() && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

QStringList rotateBackups(const QString& databasePath, const QDateTime& now)
{
    removeAbandonedCopies(backupFolder(databasePath));
    const QList<BackupInfo> all = listBackups(databasePath);
    constexpr int kNewest = 30;
    constexpr int kMonths = 12;
    QSet<QString> keep;
    QSet<int> monthsKept;
    const int thisMonth = now.date().year() * 12 + now.date().month() - 1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const BackupInfo& b = all.at(i);
        if (i < kNewest)
            keep.insert(b.path);
        const int month = b.time.date().year() * 12 + b.time.date().month() - 1;
        // Newest first, so the first one met of a month is that month's newest.
        if (thisMonth - month < kMonths && !monthsKept.contains(month)) {
            monthsKept.insert(month);
            keep.insert(b.path);
        }
    }
    QStringList removed;
    for (const BackupInfo& b : all) {
        if (!keep.contains(b.path) && QFile::remove(b.path))
            removed << b.path;
    }
    return removed;
}

bool hasBackupOn(const QString& databasePath, BackupReason reason, QDate day)
{
    const QString code = reasonCode(reason);
    const QList<BackupInfo> all = listBackups(databasePath);
    return std::any_of(all.begin(), all.end(), [&](const BackupInfo& b) {
        return b.reason == code && b.time.date() == day;
    });
}

void checkBackupFile(const QString& path)
{
    FileGuard::checkInputFile(path);
    const QString shown = QDir::toNativeSeparators(path);
    Handle h;
    openReadOnly(h, path);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(h.get(), "PRAGMA integrity_check(1)", -1, &st, nullptr);
    QString verdict;
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW)
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW)
        throw handleError(h.get(), rc, QStringLiteral("备份文件“%1”无法读取：").arg(shown));
    if (verdict != QLatin1String("ok"))
        throw DbError(QStringLiteral("备份文件“%1”已损坏，未通过完整性检查。").arg(shown));
    for (const TableDef& t : databaseTables()) {
        for (const ColumnDef& c : t.columns) {
            if (t.name == tbl::Payment && c.name == col::Urgent)
                continue; // older files lack it; opening adds it
            // Brackets, not double quotes: SQLite reads an unknown double-quoted name as a
            // text, and the statement would be accepted without the column.
            const QByteArray sql =
                QStringLiteral("SELECT [%1] FROM [%2] LIMIT 0").arg(c.name, t.name).toUtf8();
            rc = sqlite3_prepare_v2(h.get(), sql.constData(), -1, &st, nullptr);
            sqlite3_finalize(st);
            if (rc != SQLITE_OK)
                throw DbError(QStringLiteral("备份文件“%1”不是本程序的数据库（缺少“%2”中的“%3”）。")
                                  .arg(shown, t.name, c.name));
        }
    }
}

namespace {

// The export journal records files that exist outside the database, and import profiles
// are settings, not data: a restore keeps both as they are, so that an instruction
// exported after the backup is still known as exported.
const char* const kKeptTables[] = {"ExportLog", "ImportProfile"};

QString tableSql(sqlite3* db, const char* table)
{
    sqlite3_stmt* st = nullptr;
    QString sql;
    if (sqlite3_prepare_v2(db,
                           "SELECT sql FROM main.sqlite_master WHERE type = 'table' AND name = ?",
                           -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            sql = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    return sql;
}

int execAll(sqlite3* db, const QByteArray& sql)
{
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
}

} // namespace

namespace {

// The kept tables' definitions and rows, copied aside before a restore.
struct KeptTable
{
    QByteArray name;
    QString sql;
};

std::vector<KeptTable> setKeptTablesAside(sqlite3* dest, const QString& prefix)
{
    std::vector<KeptTable> kept;
    for (const char* name : kKeptTables) {
        const QString sql = tableSql(dest, name);
        if (sql.isEmpty())
            continue;
        KeptTable t{QByteArray(name), sql};
        const QByteArray aside = "temp.\"bankprep_kept_" + t.name + '"';
        execAll(dest, "DROP TABLE IF EXISTS " + aside);
        const int rc = execAll(dest, "CREATE TEMP TABLE \"bankprep_kept_" + t.name +
                                         "\" AS SELECT * FROM main.\"" + t.name + '"');
        if (rc != SQLITE_OK)
            throw handleError(dest, rc, prefix);
        kept.push_back(t);
    }
    return kept;
}

void dropKeptTables(sqlite3* dest)
{
    for (const char* name : kKeptTables)
        execAll(dest, "DROP TABLE IF EXISTS temp.\"bankprep_kept_" + QByteArray(name) + '"');
}

} // namespace

void restoreBackup(Connection& conn, const QString& backupPath)
{
    checkBackupFile(backupPath);
    Handle src;
    openReadOnly(src, backupPath);
    sqlite3* dest = conn.handle();
    const QString prefix = QStringLiteral("未能恢复备份“%1”，当前数据保持不变：")
                               .arg(QDir::toNativeSeparators(backupPath));
    std::vector<KeptTable> kept;
    try {
        kept = setKeptTablesAside(dest, prefix);
    } catch (const DbError&) {
        dropKeptTables(dest);
        throw;
    }
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", src.get(), "main");
    if (!b) {
        const DbError e = handleError(dest, sqlite3_errcode(dest), prefix);
        dropKeptTables(dest);
        throw e;
    }
    int rc = sqlite3_backup_step(b, -1);
    const int finished = sqlite3_backup_finish(b);
    rc = rc == SQLITE_DONE ? finished : rc;
    if (rc != SQLITE_OK) {
        const DbError e = handleError(dest, rc, prefix);
        dropKeptTables(dest);
        throw e;
    }
    if (kept.empty())
        return;
    // The kept tables as they were before the restore.
    QByteArray sql = "BEGIN IMMEDIATE; ";
    for (const KeptTable& t : kept) {
        sql += "DROP TABLE IF EXISTS main.\"" + t.name + "\"; " + t.sql.toUtf8() +
               "; INSERT INTO main.\"" + t.name + "\" SELECT * FROM temp.\"bankprep_kept_" +
               t.name + "\"; ";
    }
    sql += "COMMIT;";
    rc = execAll(dest, sql);
    if (rc != SQLITE_OK) {
        execAll(dest, "ROLLBACK");
        dropKeptTables(dest);
        throw handleError(dest, rc,
                          QStringLiteral("备份已恢复，但导出记录和导入方案未能保留（恢复前的备份中"
                                         "仍有）："));
    }
    dropKeptTables(dest);
}

std::optional<BackupInfo> newestSoundBackup(const QString& databasePath)
{
    for (const BackupInfo& b : listBackups(databasePath)) {
        try {
            checkBackupFile(b.path);
            return b;
        } catch (const DbError&) {
            // A damaged backup is passed over for the next older one.
        }
    }
    return std::nullopt;
}

QString replaceDamagedDatabase(const QString& databasePath, const BackupInfo& backup)
{
    const QFileInfo info(databasePath);
    const QString folder = info.absolutePath();
    const QString prefix = QStringLiteral("未能用备份替换损坏的数据库文件“%1”：")
                               .arg(QDir::toNativeSeparators(info.absoluteFilePath()));
    const QString temp = tempName(folder, info.fileName());
    {
        Handle src;
        openReadOnly(src, backup.path);
        copyInto(src.get(), temp, prefix);
    }
    const QString aside = info.absoluteFilePath() + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (::rename(encoded(databasePath).constData(), encoded(aside).constData()) != 0) {
        const int err = errno;
        QFile::remove(temp);
        throw DbError(prefix + FileGuard::describeErrno(err));
    }
    for (const char* companion : {"-wal", "-shm"}) {
        const QString from = databasePath + QLatin1String(companion);
        if (QFileInfo::exists(from))
            ::rename(encoded(from).constData(),
                     encoded(aside + QLatin1String(companion)).constData());
    }
    if (::rename(encoded(temp).constData(), encoded(databasePath).constData()) != 0) {
        const int err = errno;
        // The damaged file goes back under its name rather than leaving none.
        ::rename(encoded(aside).constData(), encoded(databasePath).constData());
        QFile::remove(temp);
        throw DbError(prefix + FileGuard::describeErrno(err));
    }
    syncFolder(folder);
    return aside;
}

} // namespace bankprep
