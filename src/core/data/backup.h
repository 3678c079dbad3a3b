#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <future>
#include <optional>

namespace bankprep {

class Connection;

// Why a backup was taken; written into its file name.
enum class BackupReason
{
    Daily,
    Manual,
    ClearPayments,
    ClearSalary,
    DeleteClassification,
    ImportPayments,
    ImportPayees,
    ImportSalary,
    BeforeRestore,
    UndoImport,
};

// One backup in the backups folder. Its time, reason and row counts are read from its
// name, which begins with the database file's ("data-20261209-173321-123-import-payments-
// P100-C20-S2.db" for data.db), so the list needs no index that could disagree with the
// files.
struct BackupInfo
{
    QString path;
    QDateTime time;
    QString reason; // the code in the name ("import-payments")
    qint64 payments = 0;
    qint64 payees = 0;
    qint64 salary = 0;

    QString reasonText() const; // in Chinese ("导入支付指令前")
};

// A backup's or an export's time as the lists show it: "2026-12-09 08:30:05".
QString shownTime(const QDateTime& time);

// The backups folder beside a database file: "<its folder>/backups".
QString backupFolder(const QString& databasePath);

// When a backup's copy is made: at once, or on a thread of its own while the caller goes
// on (an import writing its rows): the copy is still of the state when it was begun.
enum class BackupCopy
{
    Now,
    Meanwhile
};

// A backup made but not yet in the folder: its temporary file is removed unless
// commit() puts it in place. Lets a job copy the database while something else takes its
// time (the command-line tool's login, an import) and keep it only when that succeeded.
class PendingBackup
{
public:
    // Reads the row counts and begins the copy (as takeBackup does) to a hidden temporary
    // file; with BackupCopy::Meanwhile the copy goes on through a connection of its own
    // on another thread, from the same read transaction. Throws DbError.
    PendingBackup(Connection& conn, BackupReason reason, BackupCopy copy = BackupCopy::Now,
                  const QDateTime& now = QDateTime::currentDateTime());
    ~PendingBackup();
    PendingBackup(const PendingBackup&) = delete;
    PendingBackup& operator=(const PendingBackup&) = delete;
    // Waits for the copy, renames it into the folder and rotates the folder's backups
    // (rotateBackups); throws DbError when the copy or the rename failed.
    BackupInfo commit();

private:
    QString m_databasePath;
    QString m_folder;
    QString m_prefix;
    QString m_temp;
    QDateTime m_now;
    BackupInfo m_info;
    std::future<void> m_copying;
};

// A consistent copy of the open database (SQLite's online backup, never a copy of the
// file, which a live write-ahead log would make inconsistent) with the row counts of
// Payment, Company and salary read in the same read transaction. Written to a hidden
// temporary file, flushed to the disk, then renamed (and the old ones rotated): a backup
// that cannot be completed
// (a full disk, a read-only folder) leaves nothing behind. Throws DbError.
BackupInfo takeBackup(Connection& conn, BackupReason reason,
                      const QDateTime& now = QDateTime::currentDateTime());

// The backups of a database, newest first. Files of other names are not listed.
QList<BackupInfo> listBackups(const QString& databasePath);

// Keeps the newest 30 backups and the newest of each of the last 12 months (this one
// included) and deletes the others; the newest is never deleted. Returns the removed.
QStringList rotateBackups(const QString& databasePath,
                          const QDateTime& now = QDateTime::currentDateTime());

// True when a backup of this reason was taken on `day`.
bool hasBackupOn(const QString& databasePath, BackupReason reason, QDate day);

// Refuses (DbError) a file that is not a sound database of this program: it must pass
// SQLite's integrity check and hold every table with its columns. Reads only.
void checkBackupFile(const QString& path);

// Replaces everything the open database holds by the backup's content, in one write
// transaction of the database itself (SQLite's backup into the live file): another
// program reading it meanwhile sees the old or the new state, never a mixture, and the
// file keeps its name, locks and write-ahead log. The caller has taken a backup of the
// current state first. Throws DbError; on failure nothing changed.
void restoreBackup(Connection& conn, const QString& backupPath);

// The newest backup of `databasePath` that passes checkBackupFile.
std::optional<BackupInfo> newestSoundBackup(const QString& databasePath);

// Puts the backup in place of a damaged database file that is not open: the backup is
// copied beside it first, then the damaged file (and its -wal and -shm) is renamed to
// "<name>.damaged-<time>" and the copy renamed into its place. Nothing is deleted.
// Returns the damaged file's new name. Throws DbError.
QString replaceDamagedDatabase(const QString& databasePath, const BackupInfo& backup);

} // namespace bankprep
