#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace bankprep {

class Connection;

// What an import fills: payment instructions, payee accounts or payroll lines.
enum class ImportKind
{
    Payments,
    Payees,
    Salary,
};
// "payments", "payees", "salary": stored in the database.
QString importKindCode(ImportKind kind);
std::optional<ImportKind> importKindFromCode(QStringView code);
// In Chinese: "支付指令", "往来账号", "工资".
QString importKindText(ImportKind kind);

// The keys of the rows one import stored, kept as runs of consecutive keys (an import's
// keys follow each other: a million rows are one run).
class RowKeys
{
public:
    void add(qint64 key);
    qint64 count() const { return m_count; }
    const std::vector<std::pair<qint64, qint64>>& runs() const { return m_runs; }
    QByteArray toBlob() const;
    static RowKeys fromBlob(const QByteArray& blob);

private:
    std::vector<std::pair<qint64, qint64>> m_runs; // first and last key, inclusive
    qint64 m_count = 0;
};

// The file an import read: its path as given and the SHA-256 of its bytes (hex). An
// empty hash is computed from the bytes by the text imports.
struct ImportSource
{
    QString file;
    QByteArray sha256;
};

// One import as the journal holds it (the table ImportBatch, made on first use).
struct ImportBatch
{
    qint64 id = 0;
    QDateTime time;
    ImportKind kind = ImportKind::Payments;
    QString file;
    QByteArray sha256;
    qint64 rows = 0;
    QString user;
    QDateTime undone;      // invalid: not undone
    bool undoable = false; // not undone, and its rows' fingerprints are still kept
};

// The fingerprints of the rows an import stores, taken from the values its INSERT bound
// (`columns`: the table's columns by parameter position), so that recording the batch
// need not read a million rows back.
class BulkStatement;
class RowFingerprints
{
public:
    RowFingerprints(ImportKind kind, const QStringList& columns);
    // After each row stored, in the order of their keys.
    void add(const BulkStatement& insert);
    const QByteArray& bytes() const { return m_bytes; }

private:
    struct Source
    {
        int parameter;       // -1: not bound, the column's default
        QByteArray fallback; // that default as text; null: NULL
    };
    std::vector<Source> m_sources; // per fingerprinted column
    QByteArray m_bytes;
};

// Records the rows an import just stored, inside the import's own transaction: the batch
// and a fingerprint of every row as stored, so that a row changed afterwards is known.
// The fingerprints taken while storing are checked against a sample of the rows as
// stored (all are read back when one differs, or when there are none). Only the newest
// batches keep their fingerprints (older ones can no longer be undone).
void recordImportBatch(Connection& conn, ImportKind kind, const ImportSource& source,
                       const RowKeys& keys, const QString& user,
                       const RowFingerprints* stored = nullptr,
                       const QDateTime& now = QDateTime::currentDateTime());

// Every batch, newest first.
std::vector<ImportBatch> importBatches(Connection& conn);
// The newest batch of `user` that can still be undone.
std::optional<ImportBatch> lastUndoableBatch(Connection& conn, const QString& user);
std::optional<ImportBatch> importBatch(Connection& conn, qint64 id);
// The newest batch (not undone) that imported a file with these bytes into the same
// list, and what the clerk is told of it before importing it again.
std::optional<ImportBatch> earlierImportOf(Connection& conn, ImportKind kind,
                                           const QByteArray& sha256);
QString repeatedImportMessage(const ImportBatch& earlier);
// "2026-12-09 08:30:05 导入支付指令 1000条（zf.txt）": a batch in one line.
QString batchDescription(const ImportBatch& batch);

// What undoing a batch would do: its rows still as imported are removed; rows changed
// since (listed with their values now) are removed or kept as the clerk chooses; rows
// already gone are passed over.
struct UndoPlan
{
    ImportBatch batch;
    QStringList headings; // of the changed rows' values
    struct ChangedRow
    {
        qint64 key;
        QStringList values;
    };
    std::vector<ChangedRow> changed; // the first ones, with their values
    std::vector<qint64> changedKeys; // all of them
    qint64 unchanged = 0;
    qint64 missing = 0;
    // The database as the plan saw it: when no program has written since, the undo need
    // not compare the rows again.
    qint64 dataVersion = -1;
    qint64 ownChanges = -1;
};
// Throws DbError for a batch that cannot be undone (unknown, undone, too old).
UndoPlan planUndo(Connection& conn, qint64 batchId);

struct UndoResult
{
    qint64 removed = 0;
    qint64 keptChanged = 0;
};
// Removes the batch's rows in one transaction and marks it undone. The rows are compared
// again inside the transaction: when others changed meanwhile the undo is refused
// (DbError) and nothing is removed. `beforeCommit` runs just before the commit (the
// backup of the state before the undo is finished there).
UndoResult undoImport(Connection& conn, const UndoPlan& plan, bool removeChanged,
                      const std::function<void()>& beforeCommit = {},
                      const QDateTime& now = QDateTime::currentDateTime());
// The same as the programs run it: a row being typed in the batch's list is stored, a
// backup taken meanwhile (finished before the commit), and the list read afresh.
// Throws DbError (nothing removed) or AbortError (the clerk chose not to go on without
// a backup).
class TDataModule2;
UndoResult undoImport(TDataModule2& dm, const UndoPlan& plan, bool removeChanged);

// "已撤销导入：删除记录N条（保留导入后修改过的M条）。"
QString undoneMessage(const UndoResult& result);

} // namespace bankprep
