#pragma once

#include "core/data/dberror.h"
#include "core/data/filterexpr.h"
#include "core/data/money.h"
#include "core/data/rowstore.h"
#include "core/data/schema.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace bankprep {

class Connection;
class Presort;
class SortOrder;
class Table;

// One field of a table object: a stored column, or a value computed for each row
// presented (the row number, a looked-up name).
struct FieldDef
{
    enum class Kind
    {
        Stored,
        Calculated
    };
    Kind kind = Kind::Stored;
    ColumnDef column;
    // For calculated fields: the value for presented row `row` (-1: the current row of
    // an empty table). Table::positionOf() tells a stored row's position.
    std::function<QVariant(const Table&, int row)> calculate;
};

// A position in a table that survives sorting, filtering and re-reading: the row's key.
struct Bookmark
{
    qint64 key = 0;
    bool valid = false;
    friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

// The table engine: a whole table read into memory, with one current row, one filter
// (text plus an on/off switch) and one sort order shared by every view bound to it.
// Navigation, editing and events follow the classic desktop dataset model:
//  - First sets the begin marker, Last the end marker; a forward move that finds no
//    further row sets the end marker, a backward move before the first row the begin
//    marker; an empty set has both. A move to a row by position sets neither.
//  - Append/Insert start a new row; values set by the new-record event do not count
//    as a change, so an untouched new row is dropped when the cursor leaves it.
//  - Post stores (INSERT with the key read back, or UPDATE by key); an error raised in
//    the before-post event stops the store and keeps the row in editing.
// Refusals are thrown as DbError (or AbortError for a quiet stop).
class Table : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };
    enum class PostErrorAction
    {
        Fail,
        Abort
    };

    Table(Connection& conn, const QString& tableName, QObject* parent = nullptr);
    ~Table() override;

    const QString& tableName() const { return m_tableName; }
    Connection& connection() const { return m_conn; }

    // Fields in their declared order. Without a call, the fields are the table's
    // columns as the schema declares them.
    void setFields(const QList<FieldDef>& fields);
    int fieldCount() const { return int(m_fields.size()); }
    const FieldDef& field(int index) const { return m_fields.at(size_t(index)); }
    int fieldIndex(QStringView name) const; // -1 when unknown

    // ---- events ---------------------------------------------------------------
    std::function<void(Table&)> beforeOpen;
    std::function<void(Table&)> onNewRecord;
    std::function<void(Table&)> beforePost;
    std::function<void(Table&)> afterPost;
    std::function<void(Table&)> beforeDelete;
    std::function<void(Table&)> afterScroll;
    std::function<PostErrorAction(Table&, const DbError&)> onPostError;

    // ---- open / close ---------------------------------------------------------
    void open();  // throws DbError
    void close(); // stores a changed row first (throws when that is refused)
    bool isOpen() const { return m_state != State::Inactive; }
    void requery(); // re-read from the database, keeping filter and sort; first row current
    // The same as requery() after this program's connection only inserted rows with keys
    // above `afterKey` (an import): only those are read, unless another program changed
    // the database since the table was last read, when everything is.
    void requeryAfterInsert(qint64 afterKey);
    // After a change no count of SQLite's shows (a backup restored into the file), the
    // next requery() reads the table whatever the counts say.
    void forgetReadState() { m_readChanges = -1; }
    // The highest key the database holds in this table (0 for none), read from the
    // database whether the table is open or not: where the rows of an import begin.
    qint64 lastStoredKey() const;
    // The rows a bulk statement inserted after the row with key `afterKey`, presented at
    // the end in the order stored, the last one current: as append() and post() of each
    // would have left the table, without re-reading the others.
    void presentInsertedRows(qint64 afterKey);
    State state() const { return m_state; }
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    bool isModified() const { return m_modified; }

    // ---- navigation -----------------------------------------------------------
    void first();
    void last();
    void next() { moveBy(1); }
    void prior() { moveBy(-1); }
    int moveBy(int distance);
    void moveTo(int row); // to a presented row by position (a click in a grid)
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const { return rowCount() == 0; }

    // Presented rows: the stored rows that pass the filter, in sort order, plus the new
    // row being inserted, if any.
    int rowCount() const;
    int currentRow() const { return m_cur; } // -1 when there is none
    bool isNewRow(int row) const { return m_state == State::Insert && row == m_cur; }
    int recordCount() const { return int(m_view.size()); } // stored rows presented
    int positionOf(int row) const; // position among stored rows; -1 for the new row
    int recNo() const; // 1-based position of the current stored row; -1 for none or a new row

    // ---- field access (current row) ---------------------------------------------
    QVariant value(QStringView fieldName) const;
    QString text(QStringView fieldName) const;
    bool isNull(QStringView fieldName) const { return value(fieldName).isNull(); }
    void setValue(QStringView fieldName, const QVariant& value); // throws DbError
    void setText(QStringView fieldName, const QString& text) { setValue(fieldName, text); }
    // Sets a field of the current row as typing into a view does: the row is begun to be
    // edited first when it is not in editing yet. Throws DbError.
    void editValue(QStringView fieldName, const QVariant& value);

    // ---- field access (any presented row) -------------------------------------
    QVariant valueAt(int row, int field) const;
    QString textAt(int row, int field) const;
    // The stored cell of a presented stored row as read from the database (not the
    // values being typed into it): texts are UTF-8, amounts ten-thousandths. For fast
    // passes over many rows.
    CellView cellAt(int row, int field) const;
    // The key of a presented stored row; -1 for the new row or no row.
    qint64 keyAt(int row) const;

    // ---- editing --------------------------------------------------------------
    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void remove();
    // Stores a changed row or drops an unchanged one, as leaving a row does.
    void checkBrowseMode();

    // ---- what the views hold ----------------------------------------------------
    // Before the current row is stored or left (post, any move, filter, sort, re-read,
    // close, checkBrowseMode), every bound view writes what the clerk has typed into
    // its open editor into the row, so that nothing typed is lost or stored half. A view
    // registers a function for that; it may throw DbError (an amount that is not a
    // number), which stops the store or move. Removed when `owner` is destroyed.
    void addRecordUpdater(QObject* owner, std::function<void()> update);
    void removeRecordUpdaters(QObject* owner);
    void updateRecord();
    // True while the table is telling its views about a change: a view reacting to such
    // a signal must not call back into the table (moves are ignored, other calls refused).
    bool isNotifying() const { return m_notifying > 0; }

    // ---- filter and sort ------------------------------------------------------
    void setFilterText(const QString& text); // throws DbError on a bad text
    const QString& filterText() const { return m_filterText; }
    void setFiltered(bool on);
    bool isFiltered() const { return m_filtered; }
    void setSortField(const QString& fieldName); // empty: stored order
    // Fields whose order is computed ahead, one after the other on a thread of its own,
    // after each reading of the whole table, so that a first sort by one of them finds
    // it ready (the payee book of the desktop program). A job that reads a table once
    // and ends sets none. Throws DbError for an unknown field.
    void setPresortedFields(const QStringList& fields);
    const QString& sortField() const { return m_sortField; }

    // ---- locate and bookmarks -------------------------------------------------
    // columns joined by ';', values in the same order; whole-value match.
    bool locate(const QString& columns, const QVariantList& values, bool caseInsensitive = false);
    Bookmark bookmark() const;
    bool bookmarkValid(const Bookmark& b) const;
    bool gotoBookmark(const Bookmark& b);

    // The value of `resultField` in the first stored row (filter or not) whose `keyField`
    // equals `key` as text; null when there is none. Does not move the cursor.
    QVariant lookup(QStringView keyField, const QString& key, QStringView resultField) const;

    // ---- notifications to bound views ------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

signals:
    void aboutToReset();
    void wasReset();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentRowChanged(int row);
    void stateChanged();
    // The pending changes of the current row were dropped (cancel): views drop what
    // their editors hold for it.
    void editDiscarded();

private:
    template <typename... Params, typename... Args>
    void send(void (Table::*signal)(Params...), Args&&... args)
    {
        ++m_notifying;
        struct Done
        {
            int& depth;
            ~Done() { --depth; }
        } done{m_notifying};
        (this->*signal)(std::forward<Args>(args)...);
    }
    void checkNotNotifying() const;
    struct Loaded;
    template <typename Take> void forEachRow(const QString& where, qint64 key, Take&& take);
    std::vector<Row::Ptr> readRows(const QString& where, qint64 key);
    std::vector<Row::Ptr> rereadRows();
    void showFromFirstRow();
    qint64 dataVersion() const;
    qint64 totalChanges() const;
    bool unchangedSinceRead(qint64 version) const;
    void ownChangeStored(qint64 changesBefore);
    SortOrder& sortOrder(std::uint32_t packed);
    void startPresorts();
    void continuePresorts(std::uint64_t finished);
    static constexpr size_t kKeptOrders = 8;
    Row::Ptr readRow(qint64 key);
    void rebuildView();
    void resetView();
    void applyView(std::vector<Row*>&& view);
    int viewIndexOf(const Row* row) const;
    int viewIndexOfKey(qint64 key) const;
    void setCurrent(int row, bool bof, bool eof);
    void startNewRow(bool atEnd);
    void fireAfterScroll();
    void leaveRow();
    void dropPending(); // leaves the row without storing it
    void discardEdit();
    void beginRowRemoval(int row);
    void endRowRemoval(int row);
    int requireField(QStringView name) const;
    QVariant cellValue(const Row& row, int field) const;
    QVariant storedValue(int row, int field) const;
    QVariant convertIn(const FieldDef& f, const QVariant& v) const;
    Row::Ptr packBuffer(qint64 key) const;
    void checkWidths() const;
    void doInsert();
    void doUpdate();
    void replaceRow(Row* old, Row::Ptr fresh);
    void checkActive() const;

    // Signal helpers honouring disableControls().
    void notifyAboutToReset();
    void notifyReset();
    void notifyRowChanged(int row);
    void notifyCurrent();
    void notifyState();

    Connection& m_conn;
    QString m_tableName;
    std::vector<FieldDef> m_fields;
    std::vector<int> m_storedIndex;  // field -> index in packed rows, -1 for calculated
    std::vector<int> m_storedFields; // packed index -> field
    std::vector<Row::Ptr> m_rows;    // every row read, in key order
    std::vector<Row*> m_view;        // presented stored rows
    std::vector<std::unique_ptr<SortOrder>> m_sortOrders; // the last columns sorted by
    std::vector<std::uint32_t> m_presortColumns;          // packed indices
    size_t m_presortNext = 0;
    std::unique_ptr<Presort> m_presort;
    std::uint64_t m_presortSerial = 0; // of the job m_presort runs
    std::uint64_t m_generation = 0;    // counts the changes of m_rows
    qint64 m_readVersion = -1;         // the database's data version when the rows were read
    qint64 m_readChanges = -1; // this connection's count of changed rows then (own stores added)
    State m_state = State::Inactive;
    int m_cur = -1;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    bool m_inNewRecord = false;
    std::vector<QVariant> m_buffer; // per field, while editing
    Row* m_editRow = nullptr;

    QString m_filterText;
    FilterExpr m_filter;
    bool m_filtered = false;
    QString m_sortField;

    int m_disableCount = 0;
    bool m_pendingReset = false;
    int m_notifying = 0;
    bool m_updatingRecord = false;
    struct Updater
    {
        int id;
        const QObject* owner;
        std::function<void()> update;
    };
    std::vector<Updater> m_updaters;
    int m_nextUpdaterId = 0;
};

} // namespace bankprep
