#include "core/data/table.h"

#include "core/data/connection.h"
#include "core/data/sortorder.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sqlite3.h>

namespace bankprep {

namespace {

QString fieldTitle(const FieldDef& f)
{
    return f.column.name;
}

// Text form of a value as the rules and views read it.
QString valueText(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QString();
    if (v.metaType() == QMetaType::fromType<Money>())
        return v.value<Money>().toString();
    return v.toString();
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    const bool an = a.isNull() || !a.isValid();
    const bool bn = b.isNull() || !b.isValid();
    if (an || bn)
        return an == bn;
    if (a.metaType() == QMetaType::fromType<Money>() &&
        b.metaType() == QMetaType::fromType<Money>())
        return a.value<Money>() == b.value<Money>();
    if (a.metaType() != b.metaType())
        return false;
    return valueText(a) == valueText(b);
}

// Gives the memory freed on the heaps of the allocator back to the system: the heap of a
// thread that sorted 200,000 texts keeps their keys' pages otherwise.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

Table::Table(Connection& conn, const QString& tableName, QObject* parent)
    : QObject(parent), m_conn(conn), m_tableName(tableName)
{
    setObjectName(QStringLiteral("AT") + tableName);
    QList<FieldDef> fields;
    if (const TableDef* def = findTableDef(tableName)) {
        for (const ColumnDef& c : def->columns) {
            FieldDef f;
            f.column = c;
            fields << f;
        }
    }
    setFields(fields);
}

Table::~Table() = default;

void Table::checkActive() const
{
    if (m_state == State::Inactive)
        throw DbError(QStringLiteral("数据表“%1”没有打开。").arg(m_tableName));
}

void Table::setFields(const QList<FieldDef>& fields)
{
    if (isOpen())
        throw DbError(QStringLiteral("数据表“%1”打开时不能更改字段。").arg(m_tableName));
    m_fields.assign(fields.begin(), fields.end());
    m_storedIndex.assign(m_fields.size(), -1);
    m_storedFields.clear();
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].kind == FieldDef::Kind::Stored) {
            m_storedIndex[i] = int(m_storedFields.size());
            m_storedFields.push_back(int(i));
        }
    }
    // A filter text set earlier refers to packed positions: compile it again. One that
    // names a column the new fields lack is dropped, never applied to the wrong column.
    if (!m_filterText.isEmpty()) {
        const QString text = m_filterText;
        m_filterText.clear();
        m_filter = FilterExpr();
        setFilterText(text);
    }
}

int Table::fieldIndex(QStringView name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].column.name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int Table::requireField(QStringView name) const
{
    const int f = fieldIndex(name);
    if (f < 0)
        throw DbError(
            QStringLiteral("数据表“%1”中没有字段“%2”。").arg(m_tableName, name.toString()));
    return f;
}

// ---------------------------------------------------------------------------
// Reading

template <typename Take> void Table::forEachRow(const QString& where, qint64 key, Take&& take)
{
    sqlite3* db = m_conn.handle();
    if (!db)
        throw DbError(QStringLiteral("数据库没有打开。"));
    QStringList cols;
    cols << QStringLiteral("rowid");
    for (int f : m_storedFields)
        cols << quoteIdentifier(m_fields[size_t(f)].column.name);
    QString sql = QStringLiteral("SELECT %1 FROM %2")
                      .arg(cols.join(QLatin1Char(',')), quoteIdentifier(m_tableName));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    sql += QStringLiteral(" ORDER BY rowid");

    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
        throw sqliteError(rc, msg);
    }
    struct Finalize
    {
        sqlite3_stmt* st;
        ~Finalize() { sqlite3_finalize(st); }
    } finalize{st};
    if (!where.isEmpty())
        sqlite3_bind_int64(st, 1, key);

    const auto n = std::uint32_t(m_storedFields.size());
    std::vector<Row::CellIn> cells(n);
    // Text columns read as text straight away (a NULL gives no pointer): one call less
    // per cell than asking each cell's type first.
    std::vector<bool> textColumn(n);
    for (std::uint32_t i = 0; i < n; ++i)
        textColumn[i] = m_fields[size_t(m_storedFields[i])].column.kind == ColumnKind::Text;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const int c = int(i) + 1;
            Row::CellIn& cell = cells[i];
            if (textColumn[i]) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                if (text) {
                    cell.tag = CellTag::Text;
                    cell.text = text;
                    cell.size = std::uint32_t(sqlite3_column_bytes(st, c));
                } else {
                    cell.tag = CellTag::Null;
                }
                continue;
            }
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                cell.tag = CellTag::Null;
                break;
            case SQLITE_INTEGER:
                cell.tag = CellTag::Int;
                cell.i = sqlite3_column_int64(st, c);
                break;
            case SQLITE_FLOAT:
                cell.tag = CellTag::Real;
                cell.r = sqlite3_column_double(st, c);
                break;
            default:
                cell.tag = CellTag::Text;
                cell.text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                cell.size = std::uint32_t(sqlite3_column_bytes(st, c));
                break;
            }
        }
        take(sqlite3_column_int64(st, 0), cells.data(), n);
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(rc, QString::fromUtf8(sqlite3_errmsg(db)));
}

std::vector<Row::Ptr> Table::readRows(const QString& where, qint64 key)
{
    std::vector<Row::Ptr> rows;
    forEachRow(where, key, [&rows](qint64 rowid, const Row::CellIn* cells, std::uint32_t n) {
        rows.push_back(Row::create(rowid, cells, n));
    });
    return rows;
}

Row::Ptr Table::readRow(qint64 key)
{
    std::vector<Row::Ptr> rows = readRows(QStringLiteral("rowid = ?"), key);
    if (rows.empty())
        throw DbError(QStringLiteral("这条记录已不在数据库中（可能已被其他程序删除）。"));
    return std::move(rows.front());
}

QVariant Table::cellValue(const Row& row, int field) const
{
    const FieldDef& f = m_fields[size_t(field)];
    const CellView cell = row.cell(std::uint32_t(m_storedIndex[size_t(field)]));
    switch (cell.tag) {
    case CellTag::Null:
        return QVariant();
    case CellTag::Int:
        switch (f.column.kind) {
        case ColumnKind::Money:
            return QVariant::fromValue(Money::fromUnits(cell.toInt()));
        case ColumnKind::Text:
            return QString::number(cell.toInt());
        default:
            return QVariant::fromValue<qlonglong>(cell.toInt());
        }
    case CellTag::Real:
        if (f.column.kind == ColumnKind::Text)
            return QString::number(cell.toReal(), 'g', 17);
        return cell.toReal();
    case CellTag::Text:
        if (f.column.kind == ColumnKind::Money) {
            if (auto m = Money::parse(cell.data, cell.size))
                return QVariant::fromValue(*m);
        }
        return cell.toText();
    }
    return QVariant();
}

// ---------------------------------------------------------------------------
// Open, close, re-read

void Table::open()
{
    checkNotNotifying();
    if (isOpen())
        return;
    if (beforeOpen)
        beforeOpen(*this);

    QSqlQuery q(m_conn.database());
    q.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?)"));
    q.addBindValue(m_tableName);
    if (!q.exec())
        throw sqlError(q.lastError());
    QStringList present;
    while (q.next())
        present << q.value(0).toString();
    if (present.isEmpty())
        throw DbError(QStringLiteral("数据库中没有数据表“%1”。").arg(m_tableName));
    for (int f : m_storedFields) {
        const QString& name = m_fields[size_t(f)].column.name;
        if (!present.contains(name, Qt::CaseInsensitive))
            throw DbError(QStringLiteral("数据表“%1”中缺少列“%2”。").arg(m_tableName, name));
    }

    const qint64 version = dataVersion();
    std::vector<Row::Ptr> rows = readRows(QString(), 0);
    notifyAboutToReset();
    m_rows = std::move(rows);
    m_readVersion = version;
    m_readChanges = totalChanges();
    ++m_generation;
    for (auto& order : m_sortOrders)
        order->clear();
    m_state = State::Browse;
    m_modified = false;
    m_buffer.clear();
    m_editRow = nullptr;
    startPresorts();
    resetView();
    m_cur = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notifyReset();
    notifyState();
    fireAfterScroll();
}

void Table::close()
{
    checkNotNotifying();
    if (!isOpen())
        return;
    leaveRow();
    notifyAboutToReset();
    m_view.clear();
    m_rows.clear();
    m_sortOrders.clear();
    m_presort.reset();
    ++m_generation;
    m_state = State::Inactive;
    m_cur = -1;
    m_bof = m_eof = true;
    notifyReset();
    notifyState();
}

void Table::requery()
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    const qint64 version = dataVersion();
    if (unchangedSinceRead(version)) {
        // What the database holds is what was read: presented afresh, not read again.
        notifyAboutToReset();
        showFromFirstRow();
        return;
    }
    std::vector<Row::Ptr> rows = rereadRows();
    notifyAboutToReset();
    m_rows = std::move(rows);
    m_readVersion = version;
    m_readChanges = totalChanges();
    ++m_generation;
    startPresorts();
    showFromFirstRow();
}

std::vector<Row::Ptr> Table::rereadRows()
{
    // A row the database still holds as it was stays where it is in memory: only new
    // and changed rows are allocated, so a re-read of a million rows does not hold two
    // copies of them. The rows held are in key order (else they are all read afresh).
    const bool inOrder =
        std::adjacent_find(m_rows.begin(), m_rows.end(), [](const Row::Ptr& a, const Row::Ptr& b) {
            return a->rowid() >= b->rowid();
        }) == m_rows.end();
    if (!inOrder) {
        for (auto& order : m_sortOrders)
            order->clear();
        return readRows(QString(), 0);
    }
    constexpr size_t kFresh = size_t(-1);
    std::vector<size_t> kept; // per row read: the index of the row held, or kFresh
    std::vector<Row::Ptr> fresh;
    size_t i = 0;
    forEachRow(QString(), 0, [&](qint64 rowid, const Row::CellIn* cells, std::uint32_t n) {
        while (i < m_rows.size() && m_rows[i]->rowid() < rowid)
            ++i; // deleted since
        if (i < m_rows.size() && m_rows[i]->rowid() == rowid && m_rows[i]->holds(cells, n)) {
            kept.push_back(i++);
            return;
        }
        kept.push_back(kFresh);
        fresh.push_back(Row::create(rowid, cells, n));
    });
    // Nothing can fail from here on.
    std::vector<Row::Ptr> rows;
    rows.reserve(kept.size());
    size_t next = 0;
    for (size_t k : kept) {
        if (k == kFresh) {
            rows.push_back(std::move(fresh[next++]));
            for (auto& order : m_sortOrders)
                order->added(rows.back().get());
        } else {
            rows.push_back(std::move(m_rows[k]));
        }
    }
    for (const Row::Ptr& gone : m_rows) {
        if (gone) {
            for (auto& order : m_sortOrders)
                order->removed(gone.get());
        }
    }
    return rows;
}

void Table::requeryAfterInsert(qint64 afterKey)
{
    checkNotNotifying();
    checkActive();
    // Another program's change since the last reading: everything is read again.
    if (dataVersion() != m_readVersion) {
        requery();
        return;
    }
    leaveRow();
    std::vector<Row::Ptr> rows = readRows(QStringLiteral("rowid > ?"), afterKey);
    notifyAboutToReset();
    const qint64 held = m_rows.empty() ? 0 : m_rows.back()->rowid();
    for (Row::Ptr& r : rows) {
        if (r->rowid() <= held)
            continue; // stored through this table after the key was taken: held already
        for (auto& order : m_sortOrders)
            order->added(r.get());
        m_rows.push_back(std::move(r));
    }
    m_readChanges = totalChanges();
    ++m_generation;
    showFromFirstRow();
}

void Table::showFromFirstRow()
{
    resetView();
    m_cur = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notifyReset();
    fireAfterScroll();
}

qint64 Table::lastStoredKey() const
{
    Statement q(m_conn,
                QStringLiteral("SELECT max(rowid) FROM %1").arg(quoteIdentifier(m_tableName)));
    q.exec();
    return q.next() ? q.value(0).toLongLong() : 0;
}

qint64 Table::totalChanges() const
{
    sqlite3* db = m_conn.handle();
    return db ? qint64(sqlite3_total_changes64(db)) : -1;
}

bool Table::unchangedSinceRead(qint64 version) const
{
    // No other program committed (the data version), and this connection changed no
    // row other than through this table's own stores.
    return version >= 0 && version == m_readVersion && m_readChanges >= 0 &&
           totalChanges() == m_readChanges;
}

void Table::ownChangeStored(qint64 changesBefore)
{
    // Only when nothing else had changed since the reading: a change made meanwhile by
    // a statement of this connection still shows at the next re-read.
    if (changesBefore == m_readChanges)
        m_readChanges = totalChanges();
}

qint64 Table::dataVersion() const
{
    sqlite3* db = m_conn.handle();
    sqlite3_stmt* st = nullptr;
    qint64 version = -1;
    if (db && sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return version;
}

void Table::presentInsertedRows(qint64 afterKey)
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    std::vector<Row::Ptr> rows = readRows(QStringLiteral("rowid > ?"), afterKey);
    if (rows.empty())
        return;
    notifyAboutToReset();
    ++m_generation;
    for (Row::Ptr& r : rows) {
        m_view.push_back(r.get());
        for (auto& order : m_sortOrders)
            order->added(r.get());
        m_rows.push_back(std::move(r));
    }
    m_cur = int(m_view.size()) - 1;
    m_bof = m_eof = false;
    notifyReset();
    fireAfterScroll();
}

// ---------------------------------------------------------------------------
// The presented rows

void Table::resetView()
{
    std::vector<Row*> view;
    view.reserve(m_rows.size());
    const bool filter = m_filtered && !m_filter.isEmpty();
    const auto present = [&](Row* r) {
        if (!filter || m_filter.matches(*r))
            view.push_back(r);
    };
    const int f = m_sortField.isEmpty() ? -1 : fieldIndex(m_sortField);
    const int packed = f >= 0 ? m_storedIndex[size_t(f)] : -1;
    if (packed >= 0) {
        for (Row* r : sortOrder(std::uint32_t(packed)).rows(m_rows))
            present(r);
    } else {
        for (const Row::Ptr& r : m_rows)
            present(r.get());
    }
    m_view = std::move(view);
}

SortOrder& Table::sortOrder(std::uint32_t packed)
{
    // The orders of the last columns sorted stay (8 bytes a row each): a click back on
    // a title needs no sort.
    constexpr size_t kKept = kKeptOrders;
    const auto it = std::find_if(m_sortOrders.begin(), m_sortOrders.end(),
                                 [packed](const auto& o) { return o->column() == packed; });
    if (it != m_sortOrders.end()) {
        std::rotate(m_sortOrders.begin(), it, it + 1);
    } else {
        const bool text = m_fields[size_t(m_storedFields[packed])].column.kind == ColumnKind::Text;
        m_sortOrders.insert(m_sortOrders.begin(), std::make_unique<SortOrder>(packed, text));
        if (m_sortOrders.size() > kKept)
            m_sortOrders.resize(kKept);
    }
    SortOrder& order = *m_sortOrders.front();
    // Computed ahead: taken when it belongs to the rows as they are (waiting for it if it
    // is still being computed costs less than sorting afresh).
    // One computed for older rows is left to finish and be dropped.
    if (order.isWhole() && m_presort && m_presort->column() == packed &&
        m_presort->generation() == m_generation) {
        order.adopt(m_presort->take(), m_rows);
        m_presort.reset();
        // The next column once the views are drawn, not while this sort is waited for.
        QMetaObject::invokeMethod(
            this, [this] { continuePresorts(0); }, Qt::QueuedConnection);
    }
    return order;
}

void Table::setPresortedFields(const QStringList& fields)
{
    m_presortColumns.clear();
    for (const QString& name : fields) {
        const int f = requireField(name);
        if (m_storedIndex[size_t(f)] >= 0)
            m_presortColumns.push_back(std::uint32_t(m_storedIndex[size_t(f)]));
    }
    if (isOpen())
        startPresorts();
}

void Table::startPresorts()
{
    m_presortNext = 0;
    if (!m_presort)
        continuePresorts(0);
    // else: the one running belongs to older rows; the next starts when it is done.
}

void Table::continuePresorts(std::uint64_t finished)
{
    if (m_presort) {
        // Only the job that said it is done is taken (it returns at once); a call for
        // one taken already finds another running, or none.
        if (m_presortSerial != finished)
            return;
        const std::uint32_t column = m_presort->column();
        const auto it = std::find_if(m_sortOrders.begin(), m_sortOrders.end(),
                                     [column](const auto& o) { return o->column() == column; });
        if (m_presort->generation() == m_generation && isOpen()) {
            if (it == m_sortOrders.end() && m_sortOrders.size() < kKeptOrders) {
                const bool text =
                    m_fields[size_t(m_storedFields[column])].column.kind == ColumnKind::Text;
                m_sortOrders.push_back(std::make_unique<SortOrder>(column, text));
                m_sortOrders.back()->adopt(m_presort->take(), m_rows);
            } else if (it != m_sortOrders.end() && (*it)->isWhole()) {
                (*it)->adopt(m_presort->take(), m_rows);
            }
        }
        m_presort.reset();
        releaseFreedMemory(); // the job's keys, freed on its thread's heap
    }
    // The next column not yet in order, over the rows as they are now.
    while (isOpen() && m_presortNext < m_presortColumns.size()) {
        const std::uint32_t column = m_presortColumns[m_presortNext++];
        const auto it = std::find_if(m_sortOrders.begin(), m_sortOrders.end(),
                                     [column](const auto& o) { return o->column() == column; });
        if (it != m_sortOrders.end() && !(*it)->isWhole())
            continue;
        const bool text = m_fields[size_t(m_storedFields[column])].column.kind == ColumnKind::Text;
        const std::uint64_t serial = ++m_presortSerial;
        m_presort = std::make_unique<Presort>(column, text, m_rows, m_generation, [this, serial] {
            QMetaObject::invokeMethod(
                this, [this, serial] { continuePresorts(serial); }, Qt::QueuedConnection);
        });
        return;
    }
}

void Table::rebuildView()
{
    notifyAboutToReset();
    resetView();
    notifyReset();
}

int Table::rowCount() const
{
    return int(m_view.size()) + (m_state == State::Insert ? 1 : 0);
}

int Table::positionOf(int row) const
{
    if (row < 0 || row >= rowCount() || isNewRow(row))
        return -1;
    return (m_state == State::Insert && row > m_cur) ? row - 1 : row;
}

int Table::recNo() const
{
    if (m_state == State::Insert || m_cur < 0)
        return -1;
    return m_cur + 1;
}

int Table::viewIndexOf(const Row* row) const
{
    for (size_t i = 0; i < m_view.size(); ++i) {
        if (m_view[i] == row)
            return int(i);
    }
    return -1;
}

int Table::viewIndexOfKey(qint64 key) const
{
    for (size_t i = 0; i < m_view.size(); ++i) {
        if (m_view[i]->rowid() == key)
            return int(i);
    }
    return -1;
}

QVariant Table::storedValue(int row, int field) const
{
    if (row < 0 || row >= rowCount())
        return QVariant();
    if (isEditing() && row == m_cur)
        return m_buffer[size_t(field)];
    const int vi = (m_state == State::Insert && row > m_cur) ? row - 1 : row;
    return cellValue(*m_view[size_t(vi)], field);
}

QVariant Table::valueAt(int row, int field) const
{
    if (field < 0 || field >= fieldCount() || row < 0 || row >= rowCount())
        return QVariant();
    const FieldDef& f = m_fields[size_t(field)];
    if (f.kind == FieldDef::Kind::Calculated)
        return f.calculate ? f.calculate(*this, row) : QVariant();
    return storedValue(row, field);
}

CellView Table::cellAt(int row, int field) const
{
    const int pos = positionOf(row);
    if (pos < 0 || field < 0 || field >= fieldCount() || m_storedIndex[size_t(field)] < 0)
        return {};
    return m_view[size_t(pos)]->cell(std::uint32_t(m_storedIndex[size_t(field)]));
}

qint64 Table::keyAt(int row) const
{
    const int pos = positionOf(row);
    return pos < 0 ? -1 : m_view[size_t(pos)]->rowid();
}

QString Table::textAt(int row, int field) const
{
    return valueText(valueAt(row, field));
}

QVariant Table::value(QStringView fieldName) const
{
    checkActive();
    const int f = requireField(fieldName);
    if (m_cur < 0) {
        const FieldDef& fd = m_fields[size_t(f)];
        if (fd.kind == FieldDef::Kind::Calculated && fd.calculate)
            return fd.calculate(*this, -1);
        return QVariant();
    }
    return valueAt(m_cur, f);
}

QString Table::text(QStringView fieldName) const
{
    return valueText(value(fieldName));
}

// ---------------------------------------------------------------------------
// Navigation

void Table::setCurrent(int row, bool bof, bool eof)
{
    m_cur = row;
    m_bof = bof;
    m_eof = eof;
    notifyCurrent();
}

void Table::fireAfterScroll()
{
    if (afterScroll)
        afterScroll(*this);
}

void Table::first()
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    if (m_view.empty())
        setCurrent(-1, true, true);
    else
        setCurrent(0, true, false);
    fireAfterScroll();
}

void Table::last()
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    if (m_view.empty())
        setCurrent(-1, true, true);
    else
        setCurrent(int(m_view.size()) - 1, false, true);
    fireAfterScroll();
}

int Table::moveBy(int distance)
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    if (distance == 0 || (distance > 0 && m_eof) || (distance < 0 && m_bof))
        return 0;
    const int n = int(m_view.size());
    if (n == 0) {
        setCurrent(-1, true, true);
        fireAfterScroll();
        return 0;
    }
    const qint64 wanted = qint64(m_cur) + distance;
    int target = int(std::clamp<qint64>(wanted, 0, n - 1));
    const bool eof = wanted > n - 1;
    const bool bof = wanted < 0;
    const int moved = target - m_cur;
    setCurrent(target, bof, eof);
    fireAfterScroll();
    return moved;
}

void Table::moveTo(int row)
{
    // A view following a change it is being told about (a hidden grid whose row goes
    // away) must not move the cursor in the middle of that change.
    if (m_notifying > 0)
        return;
    checkActive();
    if (row == m_cur || row < 0 || row >= rowCount())
        return;
    const int vi = (m_state == State::Insert && row > m_cur) ? row - 1 : row;
    const Row* target = m_view[size_t(vi)];
    leaveRow();
    int idx = (vi < int(m_view.size()) && m_view[size_t(vi)] == target) ? vi : viewIndexOf(target);
    if (idx < 0 || m_state == State::Insert)
        return;
    setCurrent(idx, false, false);
    fireAfterScroll();
}

// ---------------------------------------------------------------------------
// Editing

QVariant Table::convertIn(const FieldDef& f, const QVariant& v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (f.column.kind) {
    case ColumnKind::Text:
        return valueText(v);
    case ColumnKind::Money: {
        if (v.metaType() == QMetaType::fromType<Money>())
            return v;
        const int type = v.metaType().id();
        if (type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt) {
            std::int64_t units = 0;
            if (__builtin_mul_overflow(v.toLongLong(), Money::kUnit, &units))
                throw DbError(QStringLiteral("“%1”的值超出范围。").arg(fieldTitle(f)));
            return QVariant::fromValue(Money::fromUnits(units));
        }
        const QString t = v.toString();
        if (t.trimmed().isEmpty())
            return QVariant();
        if (type == QMetaType::QString) {
            if (auto m = Money::parse(t))
                return QVariant::fromValue(*m);
        }
        throw DbError(QStringLiteral("“%1”不是有效的金额：%2").arg(t, fieldTitle(f)));
    }
    case ColumnKind::Integer: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (!ok)
            throw DbError(
                QStringLiteral("“%1”不是有效的整数：%2").arg(v.toString(), fieldTitle(f)));
        return QVariant::fromValue(n);
    }
    case ColumnKind::Key:
        break;
    }
    throw DbError(QStringLiteral("字段“%1”是只读的。").arg(fieldTitle(f)));
}

void Table::setValue(QStringView fieldName, const QVariant& value)
{
    checkNotNotifying();
    checkActive();
    const int f = requireField(fieldName);
    const FieldDef& fd = m_fields[size_t(f)];
    if (fd.kind == FieldDef::Kind::Calculated || fd.column.kind == ColumnKind::Key)
        throw DbError(QStringLiteral("字段“%1”是只读的。").arg(fieldTitle(fd)));
    if (!isEditing())
        throw DbError(QStringLiteral("数据表“%1”不在编辑状态，不能修改字段“%2”。")
                          .arg(m_tableName, fieldTitle(fd)));
    m_buffer[size_t(f)] = convertIn(fd, value);
    if (!m_inNewRecord)
        m_modified = true;
    notifyRowChanged(m_cur);
}

void Table::editValue(QStringView fieldName, const QVariant& value)
{
    if (!isEditing())
        edit();
    setValue(fieldName, value);
}

void Table::startNewRow(bool atEnd)
{
    checkNotNotifying();
    checkActive();
    leaveRow();
    const bool empty = m_view.empty();
    const int pos = (atEnd || empty || m_cur < 0) ? int(m_view.size()) : m_cur;
    const bool prevBof = m_bof;
    const bool prevEof = m_eof;
    const int prevCur = m_cur;

    if (m_disableCount == 0)
        send(&Table::rowAboutToBeInserted, pos);
    else
        m_pendingReset = true;
    m_buffer.assign(m_fields.size(), QVariant());
    m_editRow = nullptr;
    m_state = State::Insert;
    m_cur = pos;
    m_bof = false;
    m_eof = atEnd || empty;
    if (m_disableCount == 0)
        send(&Table::rowInserted, pos);
    notifyState();
    notifyCurrent();

    m_inNewRecord = true;
    try {
        if (onNewRecord)
            onNewRecord(*this);
    } catch (...) {
        m_inNewRecord = false;
        if (m_disableCount == 0)
            send(&Table::rowAboutToBeRemoved, pos);
        m_state = State::Browse;
        m_buffer.clear();
        m_cur = prevCur;
        m_bof = prevBof;
        m_eof = prevEof;
        if (m_disableCount == 0)
            send(&Table::rowRemoved, pos);
        notifyState();
        notifyCurrent();
        throw;
    }
    m_inNewRecord = false;
    m_modified = false;
    fireAfterScroll();
}

void Table::append()
{
    startNewRow(true);
}

void Table::insert()
{
    startNewRow(false);
}

void Table::edit()
{
    checkNotNotifying();
    checkActive();
    if (isEditing())
        return;
    if (m_view.empty() || m_cur < 0) {
        insert();
        return;
    }
    m_editRow = m_view[size_t(m_cur)];
    m_buffer.assign(m_fields.size(), QVariant());
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_storedIndex[i] >= 0)
            m_buffer[i] = cellValue(*m_editRow, int(i));
    }
    m_state = State::Edit;
    m_modified = false;
    notifyState();
}

void Table::checkWidths() const
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const ColumnDef& c = m_fields[i].column;
        if (m_storedIndex[i] < 0 || c.kind != ColumnKind::Text || c.width <= 0)
            continue;
        const QVariant& v = m_buffer[i];
        if (!v.isNull() && characterCount(v.toString()) > c.width)
            throw DbError(tooLongMessage(c));
    }
}

void Table::doInsert()
{
    QStringList cols;
    QStringList marks;
    QVariantList values;
    for (int f : m_storedFields) {
        const FieldDef& fd = m_fields[size_t(f)];
        if (fd.column.kind == ColumnKind::Key || m_buffer[size_t(f)].isNull())
            continue;
        cols << quoteIdentifier(fd.column.name);
        marks << QStringLiteral("?");
        values << m_buffer[size_t(f)];
    }
    const QString sql =
        cols.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoteIdentifier(m_tableName))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoteIdentifier(m_tableName), cols.join(QLatin1Char(',')),
                       marks.join(QLatin1Char(',')));
    Statement st(m_conn, sql);
    for (int i = 0; i < values.size(); ++i)
        st.bind(i, values.at(i));
    const qint64 changesBefore = totalChanges();
    st.exec();
    ownChangeStored(changesBefore);
    const qint64 key = st.lastInsertId().toLongLong();
    Row::Ptr fresh = readRow(key);
    Row* raw = fresh.get();
    ++m_generation;
    for (auto& order : m_sortOrders)
        order->added(raw);
    m_rows.push_back(std::move(fresh));
    m_view.insert(m_view.begin() + m_cur, raw);
}

void Table::doUpdate()
{
    QStringList sets;
    QVariantList values;
    for (int f : m_storedFields) {
        const FieldDef& fd = m_fields[size_t(f)];
        if (fd.column.kind == ColumnKind::Key)
            continue;
        if (sameValue(m_buffer[size_t(f)], cellValue(*m_editRow, f)))
            continue;
        sets << quoteIdentifier(fd.column.name) + QStringLiteral(" = ?");
        values << m_buffer[size_t(f)];
    }
    const qint64 key = m_editRow->rowid();
    if (!sets.isEmpty()) {
        Statement st(m_conn, QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                 .arg(quoteIdentifier(m_tableName), sets.join(QLatin1Char(','))));
        int i = 0;
        for (; i < values.size(); ++i)
            st.bind(i, values.at(i));
        st.bind(i, key);
        const qint64 changesBefore = totalChanges();
        st.exec();
        ownChangeStored(changesBefore);
        if (st.rowsAffected() == 0)
            throw DbError(
                QStringLiteral("这条记录已不在数据库中（可能已被其他程序删除），未能保存。"));
    }
    replaceRow(m_editRow, readRow(key));
}

void Table::replaceRow(Row* old, Row::Ptr fresh)
{
    Row* raw = fresh.get();
    ++m_generation;
    for (auto& order : m_sortOrders) {
        order->removed(old);
        order->added(raw);
    }
    for (Row::Ptr& r : m_rows) {
        if (r.get() == old) {
            r = std::move(fresh);
            break;
        }
    }
    for (Row*& v : m_view) {
        if (v == old)
            v = raw;
    }
}

void Table::post()
{
    checkNotNotifying();
    checkActive();
    updateRecord();
    if (!isEditing())
        return;
    if (beforePost)
        beforePost(*this);
    try {
        // A text longer than its column is the database's refusal too, and reaches the
        // post-error event like one.
        checkWidths();
        if (m_state == State::Insert)
            doInsert();
        else
            doUpdate();
    } catch (const DbError& e) {
        if (onPostError && onPostError(*this, e) == PostErrorAction::Abort)
            throw AbortError();
        throw;
    }
    m_state = State::Browse;
    m_modified = false;
    m_buffer.clear();
    m_editRow = nullptr;
    m_bof = m_eof = false;
    notifyRowChanged(m_cur);
    notifyState();
    if (afterPost)
        afterPost(*this);
}

void Table::cancel()
{
    checkNotNotifying();
    checkActive();
    const bool wasInsert = m_state == State::Insert;
    if (isEditing()) {
        m_modified = false;
        dropPending();
    }
    send(&Table::editDiscarded);
    if (wasInsert)
        fireAfterScroll();
}

void Table::remove()
{
    checkNotNotifying();
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_view.empty() || m_cur < 0)
        throw DbError(QStringLiteral("没有可以删除的记录。"));
    if (beforeDelete)
        beforeDelete(*this);
    Row* row = m_view[size_t(m_cur)];
    Statement st(
        m_conn, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdentifier(m_tableName)));
    st.bind(0, QVariant::fromValue<qlonglong>(row->rowid()));
    const qint64 changesBefore = totalChanges();
    st.exec();
    ownChangeStored(changesBefore);

    // Typed changes to a row being deleted go with it.
    if (m_state == State::Edit) {
        discardEdit();
        notifyState();
        send(&Table::editDiscarded);
    }
    const int pos = m_cur;
    beginRowRemoval(pos);
    m_view.erase(m_view.begin() + pos);
    ++m_generation;
    for (auto& order : m_sortOrders)
        order->removed(row);
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it) {
        if (it->get() == row) {
            m_rows.erase(it);
            break;
        }
    }
    endRowRemoval(pos);
    notifyCurrent();
    fireAfterScroll();
}

void Table::checkBrowseMode()
{
    checkNotNotifying();
    updateRecord();
    if (!isEditing())
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void Table::leaveRow()
{
    updateRecord();
    if (!isEditing())
        return;
    if (m_modified) {
        post();
        return;
    }
    dropPending();
}

void Table::dropPending()
{
    // An untouched row is dropped without an event of its own: the operation that
    // leaves it reports the move.
    if (m_state == State::Edit) {
        discardEdit();
        notifyRowChanged(m_cur);
        notifyState();
        return;
    }
    const int pos = m_cur;
    beginRowRemoval(pos);
    discardEdit();
    endRowRemoval(pos);
    notifyState();
    notifyCurrent();
}

void Table::discardEdit()
{
    m_state = State::Browse;
    m_buffer.clear();
    m_editRow = nullptr;
    m_modified = false;
}

void Table::beginRowRemoval(int row)
{
    if (m_disableCount == 0)
        send(&Table::rowAboutToBeRemoved, row);
    else
        m_pendingReset = true;
}

void Table::endRowRemoval(int row)
{
    // The cursor settles on the row that took the removed one's place, or the last.
    if (m_view.empty()) {
        m_cur = -1;
        m_bof = m_eof = true;
    } else {
        m_cur = std::min(row, int(m_view.size()) - 1);
        m_bof = m_eof = false;
    }
    if (m_disableCount == 0)
        send(&Table::rowRemoved, row);
}

// ---------------------------------------------------------------------------
// Filter and sort

void Table::setFilterText(const QString& text)
{
    checkNotNotifying();
    if (text == m_filterText)
        return;
    const auto resolve = [this](QStringView name) {
        FilterExpr::ColumnInfo info;
        const int f = fieldIndex(name);
        if (f < 0 || m_storedIndex[size_t(f)] < 0)
            return info;
        info.index = m_storedIndex[size_t(f)];
        const ColumnKind kind = m_fields[size_t(f)].column.kind;
        info.numeric = kind != ColumnKind::Text;
        info.money = kind == ColumnKind::Money;
        return info;
    };
    FilterExpr compiled = FilterExpr::compile(text, resolve);
    if (isOpen() && m_filtered)
        leaveRow();
    m_filterText = text;
    m_filter = std::move(compiled);
    if (isOpen() && m_filtered) {
        rebuildView();
        first();
    }
}

void Table::setFiltered(bool on)
{
    checkNotNotifying();
    if (on == m_filtered)
        return;
    if (isOpen())
        leaveRow();
    m_filtered = on;
    if (isOpen()) {
        rebuildView();
        first();
    }
}

void Table::setSortField(const QString& fieldName)
{
    checkNotNotifying();
    if (!fieldName.isEmpty()) {
        const int f = requireField(fieldName);
        if (m_storedIndex[size_t(f)] < 0)
            throw DbError(QStringLiteral("不能按计算字段“%1”排序。").arg(fieldName));
    }
    if (!isOpen()) {
        m_sortField = fieldName;
        return;
    }
    leaveRow();
    const Row* current = m_cur >= 0 ? m_view[size_t(m_cur)] : nullptr;
    m_sortField = fieldName;
    rebuildView();
    const int idx = current ? viewIndexOf(current) : -1;
    if (idx >= 0)
        setCurrent(idx, false, false);
    else
        setCurrent(m_view.empty() ? -1 : 0, true, m_view.empty());
}

// ---------------------------------------------------------------------------
// Locate and bookmarks

bool Table::locate(const QString& columns, const QVariantList& values, bool caseInsensitive)
{
    checkNotNotifying();
    checkActive();
    const QStringList names = columns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.isEmpty() || names.size() != values.size())
        throw DbError(QStringLiteral("查找条件的列数与值的个数不一致。"));
    std::vector<int> fields;
    for (const QString& n : names) {
        const int f = requireField(n.trimmed());
        if (m_storedIndex[size_t(f)] < 0)
            throw DbError(QStringLiteral("不能按计算字段“%1”查找。").arg(n));
        fields.push_back(f);
    }
    leaveRow();
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    std::vector<QString> wanted;
    for (const QVariant& v : values)
        wanted.push_back(valueText(v));
    for (size_t i = 0; i < m_view.size(); ++i) {
        bool all = true;
        for (size_t k = 0; k < fields.size() && all; ++k) {
            const QVariant cell = cellValue(*m_view[i], fields[k]);
            const QVariant& want = values.at(qsizetype(k));
            const bool wantNull = want.isNull() || !want.isValid();
            if (cell.isNull() || wantNull) {
                all = cell.isNull() && wantNull;
                continue;
            }
            const QString have = valueText(cell);
            if (m_fields[size_t(fields[k])].column.kind != ColumnKind::Text) {
                if (const auto cmp = compareDecimalText(have.toUtf8(), wanted[k].toUtf8())) {
                    all = *cmp == 0;
                    continue;
                }
            }
            all = have.compare(wanted[k], cs) == 0;
        }
        if (all) {
            setCurrent(int(i), false, false);
            fireAfterScroll();
            return true;
        }
    }
    return false;
}

Bookmark Table::bookmark() const
{
    if (!isOpen() || m_state == State::Insert || m_cur < 0)
        return {};
    return Bookmark{m_view[size_t(m_cur)]->rowid(), true};
}

bool Table::bookmarkValid(const Bookmark& b) const
{
    return b.valid && isOpen() && viewIndexOfKey(b.key) >= 0;
}

bool Table::gotoBookmark(const Bookmark& b)
{
    checkNotNotifying();
    checkActive();
    if (!b.valid)
        return false;
    leaveRow();
    const int idx = viewIndexOfKey(b.key);
    if (idx < 0)
        return false;
    setCurrent(idx, false, false);
    fireAfterScroll();
    return true;
}

QVariant Table::lookup(QStringView keyField, const QString& key, QStringView resultField) const
{
    if (!isOpen())
        return QVariant();
    const int kf = requireField(keyField);
    const int rf = requireField(resultField);
    if (m_storedIndex[size_t(kf)] < 0 || m_storedIndex[size_t(rf)] < 0)
        return QVariant();
    for (const Row::Ptr& r : m_rows) {
        const QVariant k = cellValue(*r, kf);
        if (!k.isNull() && valueText(k) == key)
            return cellValue(*r, rf);
    }
    return QVariant();
}

// ---------------------------------------------------------------------------
// Views

void Table::addRecordUpdater(QObject* owner, std::function<void()> update)
{
    const int id = m_nextUpdaterId++;
    m_updaters.push_back({id, owner, std::move(update)});
    connect(owner, &QObject::destroyed, this, [this, id] {
        std::erase_if(m_updaters, [id](const Updater& u) { return u.id == id; });
    });
}

void Table::removeRecordUpdaters(QObject* owner)
{
    std::erase_if(m_updaters, [owner](const Updater& u) { return u.owner == owner; });
}

void Table::updateRecord()
{
    if (m_updatingRecord || m_notifying > 0 || !isOpen())
        return;
    m_updatingRecord = true;
    struct Done
    {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_updatingRecord};
    // A copy: an update may add or remove views; each is called only while registered.
    const std::vector<Updater> updaters = m_updaters;
    for (const Updater& u : updaters) {
        const bool registered = std::any_of(m_updaters.begin(), m_updaters.end(),
                                            [&u](const Updater& r) { return r.id == u.id; });
        if (registered)
            u.update();
    }
}

void Table::checkNotNotifying() const
{
    if (m_notifying > 0)
        throw DbError(
            QStringLiteral("数据表“%1”正在更新显示，操作未执行，请重试。").arg(m_tableName));
}

// ---------------------------------------------------------------------------
// Notifications

void Table::disableControls()
{
    ++m_disableCount;
}

void Table::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingReset) {
        m_pendingReset = false;
        send(&Table::aboutToReset);
        send(&Table::wasReset);
        send(&Table::stateChanged);
        send(&Table::currentRowChanged, m_cur);
    }
}

void Table::notifyAboutToReset()
{
    if (m_disableCount == 0)
        send(&Table::aboutToReset);
    else
        m_pendingReset = true;
}

void Table::notifyReset()
{
    if (m_disableCount == 0)
        send(&Table::wasReset);
    else
        m_pendingReset = true;
}

void Table::notifyRowChanged(int row)
{
    if (m_disableCount == 0)
        send(&Table::rowChanged, row);
    else
        m_pendingReset = true;
}

void Table::notifyCurrent()
{
    if (m_disableCount == 0)
        send(&Table::currentRowChanged, m_cur);
    else
        m_pendingReset = true;
}

void Table::notifyState()
{
    if (m_disableCount == 0)
        send(&Table::stateChanged);
    else
        m_pendingReset = true;
}

} // namespace bankprep
