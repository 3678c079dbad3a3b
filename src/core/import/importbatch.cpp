#include "core/import/importbatch.h"

#include "core/data/backup.h"
#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/dberror.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/schema.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <tuple>

namespace bankprep {

namespace {

const char* const kCreateBatches = "CREATE TABLE IF NOT EXISTS \"ImportBatch\" ("
                                   "\"编号\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                   "\"时间\" TEXT NOT NULL, "
                                   "\"类型\" TEXT NOT NULL, "
                                   "\"文件\" TEXT NOT NULL, "
                                   "\"SHA256\" TEXT NOT NULL, "
                                   "\"笔数\" INTEGER NOT NULL, "
                                   "\"用户编号\" TEXT, "
                                   // The rows' keys as runs, and one fingerprint per row
                                   // in key order; cleared when the batch is too old.
                                   "\"编号范围\" BLOB, "
                                   "\"校验\" BLOB, "
                                   "\"撤销时间\" TEXT)";

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int kUndoableBatches = 20; // the newest batches keep their fingerprints
constexpr size_t kListedChanges = 1000;

const QString kBatchColumns = QStringLiteral(
    "\"编号\", \"时间\", \"类型\", \"文件\", \"SHA256\", \"笔数\", \"用户编号\", \"撤销时间\", "
    "\"校验\" IS NOT NULL");

void ensureBatches(Connection& conn)
{
    conn.exec(QString::fromUtf8(kCreateBatches));
}

bool batchesExist(Connection& conn)
{
    return conn.tableNames().contains(QStringLiteral("ImportBatch"));
}

ImportBatch batchFrom(const Statement& q)
{
    ImportBatch b;
    b.id = q.value(0).toLongLong();
    b.time = QDateTime::fromString(q.value(1).toString(), kTimeFormat);
    b.kind = importKindFromCode(q.value(2).toString()).value_or(ImportKind::Payments);
    b.file = q.value(3).toString();
    b.sha256 = q.value(4).toString().toLatin1();
    b.rows = q.value(5).toLongLong();
    b.user = q.value(6).toString();
    if (!q.value(7).isNull())
        b.undone = QDateTime::fromString(q.value(7).toString(), kTimeFormat);
    b.undoable = !b.undone.isValid() && q.value(8).toBool();
    return b;
}

std::vector<ImportBatch> selectBatches(Connection& conn, const QString& where,
                                       const QVariantList& params)
{
    std::vector<ImportBatch> out;
    if (!batchesExist(conn))
        return out;
    Statement q(conn, QStringLiteral("SELECT %1 FROM \"ImportBatch\" %2 ORDER BY \"编号\" DESC")
                          .arg(kBatchColumns, where));
    for (const QVariant& p : params)
        q.addBind(p);
    q.exec();
    while (q.next())
        out.push_back(batchFrom(q));
    return out;
}

// The table a kind fills and the columns a row's fingerprint covers: every column but
// the key, in the schema's order.
struct RowShape
{
    const TableDef* table;
    std::vector<const ColumnDef*> columns;
};

RowShape shapeOf(ImportKind kind)
{
    const QString name = kind == ImportKind::Payments ? tbl::Payment
                         : kind == ImportKind::Payees ? tbl::Company
                                                      : tbl::Salary;
    RowShape s{findTableDef(name), {}};
    for (const ColumnDef& c : s.table->columns) {
        if (c.kind != ColumnKind::Key)
            s.columns.push_back(&c);
    }
    return s;
}

QByteArray selectSql(const RowShape& shape)
{
    QStringList names;
    for (const ColumnDef* c : shape.columns)
        names << quoteIdentifier(c->name);
    return QStringLiteral("SELECT \"编号\", %1 FROM %2 WHERE \"编号\" BETWEEN ?1 AND ?2 ORDER BY "
                          "\"编号\"")
        .arg(names.join(QStringLiteral(", ")), quoteIdentifier(shape.table->name))
        .toUtf8();
}

// A prepared statement on the raw handle, finalized when it goes.
class RawStatement
{
public:
    RawStatement(sqlite3* db, const QByteArray& sql) : m_db(db)
    {
        const int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_st, nullptr);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    ~RawStatement() { sqlite3_finalize(m_st); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;
    sqlite3_stmt* get() const { return m_st; }
    void range(qint64 first, qint64 last)
    {
        sqlite3_reset(m_st);
        sqlite3_bind_int64(m_st, 1, first);
        sqlite3_bind_int64(m_st, 2, last);
    }
    bool step()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(rc);
        return false;
    }
    [[noreturn]] void fail(int rc) const
    {
        throw sqliteError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_st = nullptr;
};

// The fingerprint of a row's values as stored (columns 1.. of the statement): each
// value's type and bytes, mixed eight bytes at a time. Never 0, which marks a row not
// found.
class Mixer
{
public:
    void word(quint64 w)
    {
        m_h ^= w;
        m_h *= 0x9E3779B97F4A7C15ULL;
        m_h ^= m_h >> 29;
    }
    // The count, then the bytes eight at a time (an empty text may come as a null pointer).
    void bytes(const void* data, size_t n)
    {
        word(quint64(n));
        const auto* p = static_cast<const unsigned char*>(data);
        for (; n >= 8; p += 8, n -= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            word(w);
        }
        if (n > 0) {
            quint64 tail = 0;
            std::memcpy(&tail, p, n);
            word(tail);
        }
    }
    quint64 value() const { return m_h ? m_h : 1; }

private:
    quint64 m_h = 0xcbf29ce484222325ULL;
};

quint64 fingerprint(sqlite3_stmt* st, int columns)
{
    Mixer m;
    for (int c = 1; c <= columns; ++c) {
        const int type = sqlite3_column_type(st, c);
        m.word(quint64(type));
        switch (type) {
        case SQLITE_INTEGER:
            m.word(quint64(sqlite3_column_int64(st, c)));
            break;
        case SQLITE_FLOAT: {
            const double v = sqlite3_column_double(st, c);
            m.bytes(&v, sizeof v);
            break;
        }
        case SQLITE_NULL:
            break;
        default:
            // Text and blobs: their bytes.
            m.bytes(sqlite3_column_blob(st, c), size_t(sqlite3_column_bytes(st, c)));
            break;
        }
    }
    return m.value();
}

// The fingerprints of a batch's rows as stored, read back, in key order (0 for a key with
// no row).
QByteArray readFingerprints(Connection& conn, const RowShape& shape, const RowKeys& keys)
{
    QByteArray out(keys.count() * qsizetype(sizeof(quint64)), '\0');
    RawStatement st(conn.handle(), selectSql(shape));
    qsizetype offset = 0;
    for (const auto& [first, last] : keys.runs()) {
        st.range(first, last);
        while (st.step()) {
            const quint64 f = fingerprint(st.get(), int(shape.columns.size()));
            const qint64 k = sqlite3_column_int64(st.get(), 0);
            std::memcpy(out.data() + (offset + k - first) * qsizetype(sizeof f), &f, sizeof f);
        }
        offset += last - first + 1;
    }
    return out;
}

// Whether fingerprints taken while storing agree with the rows as stored, at the first
// and last row of every run (at most 64 rows).
bool sampleMatches(Connection& conn, const RowShape& shape, const RowKeys& keys,
                   const QByteArray& taken)
{
    RawStatement st(conn.handle(), selectSql(shape));
    qsizetype offset = 0;
    int checked = 0;
    for (const auto& [first, last] : keys.runs()) {
        for (const qint64 k : {first, last}) {
            st.range(k, k);
            if (!st.step())
                return false;
            quint64 was = 0;
            std::memcpy(&was, taken.constData() + (offset + k - first) * 8, sizeof was);
            if (fingerprint(st.get(), int(shape.columns.size())) != was)
                return false;
        }
        offset += last - first + 1;
        if ((checked += 2) >= 64)
            break;
    }
    return true;
}

QStringList valuesOf(sqlite3_stmt* st, const RowShape& shape)
{
    QStringList values;
    for (size_t i = 0; i < shape.columns.size(); ++i) {
        const int c = int(i) + 1;
        if (shape.columns[i]->name == col::UserId)
            continue; // the clerk's own number, the same on every row
        if (shape.columns[i]->kind == ColumnKind::Money &&
            sqlite3_column_type(st, c) == SQLITE_INTEGER) {
            values << Money::fromUnits(sqlite3_column_int64(st, c)).toDisplayString();
            continue;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        values << (text ? QString::fromUtf8(text, sqlite3_column_bytes(st, c)) : QString());
    }
    return values;
}

struct Comparison
{
    std::vector<UndoPlan::ChangedRow> listed;
    std::vector<qint64> changedKeys;
    qint64 unchanged = 0;
    qint64 missing = 0;
};

// The batch's rows now, against their fingerprints.
Comparison compareRows(Connection& conn, const RowShape& shape, const RowKeys& keys,
                       const QByteArray& stored)
{
    Comparison c;
    RawStatement st(conn.handle(), selectSql(shape));
    qsizetype offset = 0;
    qint64 found = 0;
    for (const auto& [first, last] : keys.runs()) {
        st.range(first, last);
        while (st.step()) {
            const qint64 k = sqlite3_column_int64(st.get(), 0);
            quint64 was = 0;
            const qsizetype at = (offset + k - first) * qsizetype(sizeof was);
            if (at + qsizetype(sizeof was) <= stored.size())
                std::memcpy(&was, stored.constData() + at, sizeof was);
            ++found;
            if (fingerprint(st.get(), int(shape.columns.size())) == was) {
                ++c.unchanged;
                continue;
            }
            c.changedKeys.push_back(k);
            if (c.listed.size() < kListedChanges)
                c.listed.push_back({k, valuesOf(st.get(), shape)});
        }
        offset += last - first + 1;
    }
    c.missing = keys.count() - found;
    return c;
}

// What tells whether the database changed: another connection's commits, and this
// connection's own changes.
std::pair<qint64, qint64> writeState(Connection& conn)
{
    RawStatement st(conn.handle(), "PRAGMA data_version");
    const qint64 version = st.step() ? sqlite3_column_int64(st.get(), 0) : -1;
    return {version, qint64(sqlite3_total_changes64(conn.handle()))};
}

struct StoredBatch
{
    ImportBatch batch;
    RowKeys keys;
    QByteArray fingerprints;
};

StoredBatch readStoredBatch(Connection& conn, qint64 id)
{
    const std::optional<ImportBatch> batch = importBatch(conn, id);
    if (!batch)
        throw DbError(QStringLiteral("没有编号为%1的导入记录。").arg(id));
    if (batch->undone.isValid())
        throw DbError(QStringLiteral("这次导入已于%1撤销。").arg(shownTime(batch->undone)));
    if (!batch->undoable)
        throw DbError(QStringLiteral("这次导入时间太早，已不能撤销（只能撤销最近%1次导入）。")
                          .arg(kUndoableBatches));
    Statement q(conn, QStringLiteral("SELECT \"编号范围\", \"校验\" FROM \"ImportBatch\" WHERE "
                                     "\"编号\" = ?"));
    q.addBind(id);
    q.exec();
    StoredBatch s{*batch, {}, {}};
    if (q.next()) {
        s.keys = RowKeys::fromBlob(q.value(0).toByteArray());
        s.fingerprints = q.value(1).toByteArray();
    }
    return s;
}

// The batch's rows compared with their fingerprints, into `plan` (whose write state it
// keeps).
UndoPlan comparedPlan(Connection& conn, qint64 batchId, UndoPlan plan)
{
    const StoredBatch stored = readStoredBatch(conn, batchId);
    const RowShape shape = shapeOf(stored.batch.kind);
    Comparison c = compareRows(conn, shape, stored.keys, stored.fingerprints);
    plan.batch = stored.batch;
    plan.headings.clear();
    for (const ColumnDef* c : shape.columns) {
        if (c->name != col::UserId)
            plan.headings << (c->label.isEmpty() ? c->name : c->label);
    }
    plan.changed = std::move(c.listed);
    plan.changedKeys = std::move(c.changedKeys);
    plan.unchanged = c.unchanged;
    plan.missing = c.missing;
    return plan;
}

// Deletes the keys of one run except those kept (sorted).
qint64 deleteRun(RawStatement& del, qint64 first, qint64 last, const std::vector<qint64>& kept)
{
    qint64 removed = 0;
    auto deleteRange = [&](qint64 a, qint64 b) {
        if (a > b)
            return;
        del.range(a, b);
        del.step();
        removed += sqlite3_changes(sqlite3_db_handle(del.get()));
    };
    qint64 from = first;
    for (auto it = std::lower_bound(kept.begin(), kept.end(), first);
         it != kept.end() && *it <= last; ++it) {
        deleteRange(from, *it - 1);
        from = *it + 1;
    }
    deleteRange(from, last);
    return removed;
}

} // namespace

QString importKindCode(ImportKind kind)
{
    switch (kind) {
    case ImportKind::Payees:
        return QStringLiteral("payees");
    case ImportKind::Salary:
        return QStringLiteral("salary");
    case ImportKind::Payments:
        break;
    }
    return QStringLiteral("payments");
}

std::optional<ImportKind> importKindFromCode(QStringView code)
{
    for (ImportKind k : {ImportKind::Payments, ImportKind::Payees, ImportKind::Salary}) {
        if (code == importKindCode(k))
            return k;
    }
    return std::nullopt;
}

QString importKindText(ImportKind kind)
{
    switch (kind) {
    case ImportKind::Payees:
        return QStringLiteral("往来账号");
    case ImportKind::Salary:
        return QStringLiteral("工资");
    case ImportKind::Payments:
        break;
    }
    return QStringLiteral("支付指令");
}

void RowKeys::add(qint64 key)
{
    if (!m_runs.empty() && m_runs.back().second + 1 == key)
        m_runs.back().second = key;
    else
        m_runs.emplace_back(key, key);
    ++m_count;
}

QByteArray RowKeys::toBlob() const
{
    QByteArray out;
    out.reserve(qsizetype(m_runs.size() * 2 * sizeof(qint64)));
    for (const auto& [first, last] : m_runs) {
        out.append(reinterpret_cast<const char*>(&first), sizeof first);
        out.append(reinterpret_cast<const char*>(&last), sizeof last);
    }
    return out;
}

RowKeys RowKeys::fromBlob(const QByteArray& blob)
{
    RowKeys keys;
    constexpr qsizetype pair = 2 * sizeof(qint64);
    for (qsizetype at = 0; at + pair <= blob.size(); at += pair) {
        qint64 first = 0;
        qint64 last = 0;
        std::memcpy(&first, blob.constData() + at, sizeof first);
        std::memcpy(&last, blob.constData() + at + sizeof first, sizeof last);
        if (last < first)
            continue;
        keys.m_runs.emplace_back(first, last);
        keys.m_count += last - first + 1;
    }
    return keys;
}

RowFingerprints::RowFingerprints(ImportKind kind, const QStringList& columns)
{
    for (const ColumnDef* c : shapeOf(kind).columns) {
        Source s{-1, {}};
        for (qsizetype p = 0; p < columns.size(); ++p) {
            if (columns.at(p).compare(c->name, Qt::CaseInsensitive) == 0)
                s.parameter = int(p);
        }
        // A default the schema gives as a quoted text ('否').
        const QString d = c->defaultValue;
        if (s.parameter < 0 && d.size() >= 2 && d.startsWith(QLatin1Char('\'')) &&
            d.endsWith(QLatin1Char('\'')))
            s.fallback = d.mid(1, d.size() - 2).toUtf8();
        m_sources.push_back(s);
    }
}

void RowFingerprints::add(const BulkStatement& insert)
{
    Mixer m;
    for (const Source& s : m_sources) {
        const int type = s.parameter >= 0      ? insert.boundType(s.parameter)
                         : s.fallback.isNull() ? SQLITE_NULL
                                               : SQLITE_TEXT;
        m.word(quint64(type));
        if (type == SQLITE_INTEGER) {
            m.word(quint64(insert.boundInt64(s.parameter)));
        } else if (type == SQLITE_TEXT) {
            if (s.parameter >= 0) {
                const std::string& t = insert.boundText(s.parameter);
                // Bound as a NUL-terminated text when it holds no NUL: stored up to it.
                m.bytes(t.data(), std::min(t.size(), t.find('\0')));
            } else {
                m.bytes(s.fallback.constData(), size_t(s.fallback.size()));
            }
        }
    }
    const quint64 f = m.value();
    m_bytes.append(reinterpret_cast<const char*>(&f), sizeof f);
}

void recordImportBatch(Connection& conn, ImportKind kind, const ImportSource& source,
                       const RowKeys& keys, const QString& user, const RowFingerprints* taken,
                       const QDateTime& now)
{
    ensureBatches(conn);
    const RowShape shape = shapeOf(kind);
    const QByteArray prints = taken && taken->bytes().size() == keys.count() * 8 &&
                                      sampleMatches(conn, shape, keys, taken->bytes())
                                  ? taken->bytes()
                                  : readFingerprints(conn, shape, keys);
    Statement q(conn, QStringLiteral("INSERT INTO \"ImportBatch\" (\"时间\", \"类型\", \"文件\", "
                                     "\"SHA256\", \"笔数\", \"用户编号\", \"编号范围\", \"校验\") "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBind(now.toString(kTimeFormat));
    q.addBind(importKindCode(kind));
    // Never NULL: a run without a file name (a test's bytes) records an empty one.
    q.addBind(source.file.isEmpty()
                  ? QStringLiteral("")
                  : QDir::toNativeSeparators(QFileInfo(source.file).absoluteFilePath()));
    q.addBind(QString(QLatin1String("")) + QString::fromLatin1(source.sha256));
    q.addBind(keys.count());
    q.addBind(user);
    q.addBind(keys.toBlob());
    q.addBind(prints);
    q.exec();
    const qint64 id = q.lastInsertId().toLongLong();
    Statement prune(conn, QStringLiteral("UPDATE \"ImportBatch\" SET \"编号范围\" = NULL, "
                                         "\"校验\" = NULL WHERE \"编号\" <= ? AND \"校验\" IS "
                                         "NOT NULL"));
    prune.addBind(id - kUndoableBatches);
    prune.exec();
}

std::vector<ImportBatch> importBatches(Connection& conn)
{
    return selectBatches(conn, QString(), {});
}

std::optional<ImportBatch> lastUndoableBatch(Connection& conn, const QString& user)
{
    for (const ImportBatch& b : selectBatches(
             conn, QStringLiteral("WHERE \"撤销时间\" IS NULL AND \"用户编号\" = ?"), {user})) {
        if (b.undoable)
            return b;
    }
    return std::nullopt;
}

std::optional<ImportBatch> importBatch(Connection& conn, qint64 id)
{
    const auto found = selectBatches(conn, QStringLiteral("WHERE \"编号\" = ?"), {id});
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::optional<ImportBatch> earlierImportOf(Connection& conn, ImportKind kind,
                                           const QByteArray& sha256)
{
    if (sha256.isEmpty())
        return std::nullopt;
    const auto found = selectBatches(
        conn, QStringLiteral("WHERE \"类型\" = ? AND \"SHA256\" = ? AND \"撤销时间\" IS NULL"),
        {importKindCode(kind), QString::fromLatin1(sha256)});
    if (found.empty())
        return std::nullopt;
    return found.front();
}

QString repeatedImportMessage(const ImportBatch& earlier)
{
    return QStringLiteral("内容完全相同的文件已于%1导入过%2（%3条，文件“%4”）。再次导入会使这些"
                          "记录重复。")
        .arg(shownTime(earlier.time), importKindText(earlier.kind))
        .arg(earlier.rows)
        .arg(earlier.file);
}

QString batchDescription(const ImportBatch& batch)
{
    return QStringLiteral("%1 导入%2 %3条（%4）")
        .arg(shownTime(batch.time), importKindText(batch.kind))
        .arg(batch.rows)
        .arg(QFileInfo(batch.file).fileName());
}

UndoPlan planUndo(Connection& conn, qint64 batchId)
{
    // One read transaction: the write state and the rows compared are of one moment.
    conn.exec(QStringLiteral("BEGIN"));
    UndoPlan plan;
    try {
        std::tie(plan.dataVersion, plan.ownChanges) = writeState(conn);
        plan = comparedPlan(conn, batchId, plan);
    } catch (...) {
        conn.rollback();
        throw;
    }
    conn.rollback();
    return plan;
}

UndoResult undoImport(Connection& conn, const UndoPlan& plan, bool removeChanged,
                      const std::function<void()>& beforeCommit, const QDateTime& now)
{
    Transaction transaction(conn);
    // Rows changed after the plan was made (another program, this one's grid) would be
    // removed or kept without the clerk having seen them: compared again unless nothing
    // was written since.
    if (writeState(conn) != std::pair(plan.dataVersion, plan.ownChanges)) {
        const UndoPlan again = comparedPlan(conn, plan.batch.id, {});
        if (again.changedKeys != plan.changedKeys)
            throw DbError(QStringLiteral("这次导入的记录在核对之后又被修改过，没有撤销任何记录。"
                                         "请重新选择“撤销上次导入”。"));
    }
    const StoredBatch stored = readStoredBatch(conn, plan.batch.id);
    const RowShape shape = shapeOf(stored.batch.kind);
    const std::vector<qint64> kept = removeChanged ? std::vector<qint64>() : plan.changedKeys;

    RawStatement del(conn.handle(), QStringLiteral("DELETE FROM %1 WHERE \"编号\" BETWEEN ?1 "
                                                   "AND ?2")
                                        .arg(quoteIdentifier(shape.table->name))
                                        .toUtf8());
    UndoResult r;
    for (const auto& [first, last] : stored.keys.runs())
        r.removed += deleteRun(del, first, last, kept);
    r.keptChanged = qint64(kept.size());
    Statement mark(conn, QStringLiteral("UPDATE \"ImportBatch\" SET \"撤销时间\" = ? WHERE "
                                        "\"编号\" = ?"));
    mark.addBind(now.toString(kTimeFormat));
    mark.addBind(plan.batch.id);
    mark.exec();
    if (beforeCommit)
        beforeCommit();
    transaction.commit();
    return r;
}

UndoResult undoImport(TDataModule2& dm, const UndoPlan& plan, bool removeChanged)
{
    Table* table = plan.batch.kind == ImportKind::Payments ? dm.ATPayment.get()
                   : plan.batch.kind == ImportKind::Payees ? dm.ATCompany.get()
                                                           : dm.ATSalary.get();
    if (table->isOpen())
        table->checkBrowseMode();
    std::unique_ptr<PendingBackup> backup =
        dm.startBackupBefore(BackupReason::UndoImport, BackupCopy::Meanwhile);
    const UndoResult result =
        undoImport(dm.ADOConn, plan, removeChanged, [&] { dm.finishBackup(backup); });
    if (table->isOpen())
        table->requery();
    return result;
}

QString undoneMessage(const UndoResult& result)
{
    QString text = QStringLiteral("已撤销导入：删除记录%1条").arg(result.removed);
    if (result.keptChanged > 0)
        text += QStringLiteral("（保留导入后修改过的%1条）").arg(result.keptChanged);
    return text + QStringLiteral("。");
}

} // namespace bankprep
