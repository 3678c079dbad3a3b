#include "core/data/connection.h"
#include "core/data/dberror.h"
#include "core/data/money.h"
#include "core/data/schema.h"
#include "core/data/table.h"
#include "testutil.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <limits>
#include <optional>
#include <stdexcept>

using bankprep::AbortError;
using bankprep::Bookmark;
using bankprep::DbError;
using bankprep::FieldDef;
using bankprep::Money;
using bankprep::Table;

namespace {

const QString kAccount = QStringLiteral("收款帐号");
const QString kUnit = QStringLiteral("收款单位");
const QString kAmount = QStringLiteral("金额");
const QString kUser = QStringLiteral("用户编号");
const QString kKey = QStringLiteral("编号");
const QString kLocal = QStringLiteral("同城交易");
const QString kNote = QStringLiteral("备注");

// A fresh database file opened through the program's own connection.
struct Db
{
    testutil::Workspace ws;
    bankprep::Connection conn;
    Db() { conn.open(ws.path()); }
    QString path() const { return ws.path(); }
};

// Adds a payment row through a connection of its own, as another program would.
void addPayment(const QString& db, const QVariant& account,
                const QVariant& user = QStringLiteral("1"),
                const QVariant& amountUnits = QVariant(), const QVariant& unit = QVariant())
{
    testutil::execSql(db,
                      QStringLiteral("insert into Payment (收款帐号, 用户编号, 金额, 收款单位) "
                                     "values (?, ?, ?, ?)"),
                      {account, user, amountUnits, unit});
}

void addCompany(const QString& db, const QVariant& account, const QVariant& kind)
{
    testutil::execSql(db, QStringLiteral("insert into Company (收款帐号, 账号分类) values (?, ?)"),
                      {account, kind});
}

int countRows(const QString& db, const QString& table, const QString& where = QString(),
              const QVariantList& params = {})
{
    QString sql = QStringLiteral("select count(*) from ") + table;
    if (!where.isEmpty())
        sql += QStringLiteral(" where ") + where;
    return testutil::querySingle(db, sql, params).toInt();
}

// The texts of one field over every presented row, top to bottom.
QStringList columnTexts(const Table& t, const QString& field)
{
    QStringList out;
    const int f = t.fieldIndex(field);
    for (int r = 0; r < t.rowCount(); ++r)
        out << t.textAt(r, f);
    return out;
}

// The message of the DbError `f` throws; nothing when it does not throw.
template <typename F> std::optional<QString> dbErrorOf(F&& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e.message();
    }
    return std::nullopt;
}

QList<FieldDef> paymentFieldsWithRowNumber()
{
    QList<FieldDef> fields;
    for (const bankprep::ColumnDef& c : bankprep::findTableDef(u"Payment")->columns) {
        FieldDef f;
        f.column = c;
        fields << f;
    }
    FieldDef no;
    no.kind = FieldDef::Kind::Calculated;
    no.column.name = QStringLiteral("no");
    no.column.kind = bankprep::ColumnKind::Integer;
    no.column.label = QStringLiteral("序号");
    no.calculate = [](const Table& t, int row) -> QVariant {
        const int pos = t.positionOf(row);
        return pos < 0 ? 1 : pos + 1;
    };
    fields.prepend(no);
    return fields;
}

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void markersOnNavigation();
    void markersOnEmptySet();
    void newRows();
    void postInsertAndUpdate();
    void editValueBeginsEditing();
    void beforePostAndRefusals();
    void postErrorHandler();
    void widthRefusal();
    void moneyRoundTrip();
    void moneyInput();
    void filter();
    void filterQuotedAndEmpty();
    void sort();
    void sortFollowsTheCollator();
    void locate();
    void bookmarks();
    void remove();
    void requeryAndReopen();
    void disabledControls();
    void calculatedField();
    void filterDroppedWithItsColumn();
};

// ---------------------------------------------------------------------------
// Navigation and the begin/end markers

void TestTable::markersOnNavigation()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"));
    addPayment(db.path(), QStringLiteral("B"));
    addPayment(db.path(), QStringLiteral("C"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.open();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QVERIFY(!t.eof());
    QCOMPARE(t.text(kAccount), QStringLiteral("A"));

    // Stepping through the middle clears both markers; reaching the last row by a
    // forward step does not set the end marker yet.
    t.next();
    QCOMPARE(t.currentRow(), 1);
    QVERIFY(!t.bof());
    QVERIFY(!t.eof());
    t.next();
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(!t.bof());
    QVERIFY(!t.eof());

    // A step past the last row sets the end marker, keeps the row and reports the move.
    scrolls = 0;
    t.next();
    QVERIFY(t.eof());
    QVERIFY(!t.bof());
    QCOMPARE(t.currentRow(), 2);
    QCOMPARE(t.text(kAccount), QStringLiteral("C"));
    QCOMPARE(scrolls, 1);

    // At the end already: nothing happens.
    t.next();
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(t.eof());
    QCOMPARE(scrolls, 1);
    QCOMPARE(t.moveBy(1), 0);
    QCOMPARE(scrolls, 1);

    // Back to the first row by steps, then one step before it.
    t.prior();
    QCOMPARE(t.currentRow(), 1);
    QVERIFY(!t.eof());
    QVERIFY(!t.bof());
    t.prior();
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(!t.bof());
    scrolls = 0;
    t.prior();
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QVERIFY(!t.eof());
    QCOMPARE(scrolls, 1);
    t.prior();
    QCOMPARE(scrolls, 1);
    QCOMPARE(t.moveBy(-1), 0);
    QCOMPARE(scrolls, 1);

    // First and Last.
    t.last();
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(t.eof());
    QVERIFY(!t.bof());
    t.first();
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QVERIFY(!t.eof());

    // A move by position (a click) sets neither marker, even onto the last row.
    scrolls = 0;
    t.moveTo(1);
    QCOMPARE(t.currentRow(), 1);
    QVERIFY(!t.bof());
    QVERIFY(!t.eof());
    t.moveTo(2);
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(!t.bof());
    QVERIFY(!t.eof());
    t.moveTo(0);
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(!t.bof());
    QVERIFY(!t.eof());
    QCOMPARE(scrolls, 3);
    // Out of range or onto the current row: nothing.
    t.moveTo(7);
    t.moveTo(-1);
    t.moveTo(0);
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(scrolls, 3);

    // moveBy clamps and tells the distance actually moved.
    t.first();
    QCOMPARE(t.moveBy(10), 2);
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(t.eof());
    QCOMPARE(t.moveBy(-10), -2);
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QCOMPARE(t.moveBy(2), 2);
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(!t.eof());
    QVERIFY(!t.bof());
    QCOMPARE(t.moveBy(-1), -1);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.moveBy(0), 0);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.recNo(), 2);
}

void TestTable::markersOnEmptySet()
{
    Db db;
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QVERIFY(t.isEmpty());
        QCOMPARE(t.rowCount(), 0);
        QCOMPARE(t.currentRow(), -1);
        QVERIFY(t.bof());
        QVERIFY(t.eof());
        QVERIFY(t.value(kAccount).isNull());
        t.first();
        QVERIFY(t.bof() && t.eof());
        t.last();
        QVERIFY(t.bof() && t.eof());
        QCOMPARE(t.moveBy(1), 0);
        QCOMPARE(t.moveBy(-1), 0);
        QVERIFY(t.bof() && t.eof());
        QCOMPARE(t.currentRow(), -1);
        QCOMPARE(t.recNo(), -1);
    }

    addPayment(db.path(), QStringLiteral("A"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("B"), QStringLiteral("2"));

    // A filter set before opening that matches nothing.
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.setFilterText(QStringLiteral("用户编号 = 9"));
        t.setFiltered(true);
        t.open();
        QCOMPARE(t.rowCount(), 0);
        QVERIFY(t.bof());
        QVERIFY(t.eof());
        QCOMPARE(t.currentRow(), -1);
    }

    // A filter switched on after opening.
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QVERIFY(t.bof());
        QVERIFY(!t.eof());
        t.setFilterText(QStringLiteral("用户编号 = 9"));
        t.setFiltered(true);
        QCOMPARE(t.rowCount(), 0);
        QVERIFY(t.bof());
        QVERIFY(t.eof());
        t.setFiltered(false);
        QCOMPARE(t.rowCount(), 2);
        QVERIFY(t.bof());
        QVERIFY(!t.eof());
    }
}

// ---------------------------------------------------------------------------
// New rows

void TestTable::newRows()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"));
    addPayment(db.path(), QStringLiteral("B"));
    addPayment(db.path(), QStringLiteral("C"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.onNewRecord = [](Table& tb) {
        tb.setText(kLocal, QStringLiteral("是"));
        tb.setText(kUser, QStringLiteral("1"));
    };
    t.open();

    // Append: a new row at the end, in insert state, at the end marker.
    t.append();
    QCOMPARE(t.state(), Table::State::Insert);
    QVERIFY(t.isEditing());
    QCOMPARE(t.rowCount(), 4);
    QCOMPARE(t.recordCount(), 3);
    QCOMPARE(t.currentRow(), 3);
    QVERIFY(t.isNewRow(3));
    QVERIFY(t.eof());
    QVERIFY(!t.bof());
    QCOMPARE(t.text(kLocal), QStringLiteral("是"));
    QVERIFY(!t.isModified()); // the new-record handler's values are no change
    QVERIFY(t.isNull(kKey));

    // Leaving the untouched row drops it: by a step back...
    t.prior();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 3);
    QVERIFY(t.currentRow() >= 0 && t.currentRow() < 3);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);

    // ...by First...
    t.append();
    QCOMPARE(t.rowCount(), 4);
    t.first();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);

    // ...by a click on another row...
    t.append();
    t.moveTo(1);
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("B"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);

    // ...and by a search.
    t.append();
    QVERIFY(t.locate(kAccount, {QStringLiteral("A")}));
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);

    // A typed value makes the row a change: leaving it stores it.
    t.append();
    t.setText(kAccount, QStringLiteral("D"));
    QVERIFY(t.isModified());
    t.prior();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 4);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 4);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"),
                       QStringLiteral("收款帐号 = 'D' and 同城交易 = '是'")),
             1);
    QVERIFY(t.locate(kAccount, {QStringLiteral("D")}));
    const qint64 keyD = t.value(kKey).toLongLong();
    QVERIFY(keyD > 0);
    QCOMPARE(keyD, testutil::querySingle(
                       db.path(), QStringLiteral("select 编号 from Payment where 收款帐号 = 'D'"))
                       .toLongLong());
    QCOMPARE(t.text(kLocal), QStringLiteral("是"));

    // Cancel drops a new row, typed values and all, and reports the move.
    t.append();
    t.setText(kAccount, QStringLiteral("E"));
    scrolls = 0;
    t.cancel();
    QCOMPARE(scrolls, 1);
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 4);
    QVERIFY(!t.isModified());
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 4);
    QVERIFY(!t.locate(kAccount, {QStringLiteral("E")}));

    // Insert puts the new row before the current one.
    t.first();
    t.next();
    QCOMPARE(t.text(kAccount), QStringLiteral("B"));
    t.insert();
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.currentRow(), 1);
    QVERIFY(t.isNewRow(1));
    QVERIFY(!t.eof());
    QCOMPARE(t.rowCount(), 5);
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("A"), QString(), QStringLiteral("B"), QStringLiteral("C"),
                          QStringLiteral("D")}));
    QCOMPARE(t.positionOf(1), -1);
    QCOMPARE(t.positionOf(2), 1);
    t.setText(kAccount, QStringLiteral("X"));
    t.post();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("X"));
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("B"),
                          QStringLiteral("C"), QStringLiteral("D")}));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 5);

    // A new row on an empty set.
    Table empty(db.conn, QStringLiteral("Salary"));
    empty.open();
    empty.append();
    QCOMPARE(empty.rowCount(), 1);
    QCOMPARE(empty.currentRow(), 0);
    QVERIFY(empty.eof());
    empty.cancel();
    QCOMPARE(empty.rowCount(), 0);
    QVERIFY(empty.bof() && empty.eof());
    QCOMPARE(countRows(db.path(), QStringLiteral("Salary")), 0);
}

// ---------------------------------------------------------------------------
// Post

void TestTable::postInsertAndUpdate()
{
    Db db;
    qint64 key = 0;
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QVERIFY(t.isEmpty());
        t.append();
        t.setText(kAccount, QStringLiteral("6222000011112222"));
        t.setText(kUnit, QStringLiteral("某某公司"));
        t.setText(kAmount, QStringLiteral("12.5"));
        t.post();
        QCOMPARE(t.state(), Table::State::Browse);
        QVERIFY(!t.isModified());
        QVERIFY(!t.bof());
        QVERIFY(!t.eof());
        key = t.value(kKey).toLongLong();
        QVERIFY(key > 0);
        QCOMPARE(t.recNo(), 1);
        // The column default applied by the database is read back with the row.
        QCOMPARE(t.text(QStringLiteral("大额实时")), QStringLiteral("否"));

        const QList<QVariantList> rows = testutil::queryRows(
            db.path(), QStringLiteral("select 编号, 收款帐号, 收款单位, 金额 from Payment"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toLongLong(), key);
        QCOMPARE(rows[0][1].toString(), QStringLiteral("6222000011112222"));
        QCOMPARE(rows[0][2].toString(), QStringLiteral("某某公司"));
        QCOMPARE(rows[0][3].toLongLong(), qint64(125000));

        t.edit();
        QCOMPARE(t.state(), Table::State::Edit);
        QVERIFY(!t.isModified());
        t.setText(kUnit, QStringLiteral("另一家公司"));
        QVERIFY(t.isModified());
        t.post();
        QCOMPARE(t.state(), Table::State::Browse);
        QCOMPARE(t.value(kKey).toLongLong(), key);
        t.close();
    }
    QCOMPARE(testutil::querySingle(
                 db.path(), QStringLiteral("select 收款单位 from Payment where 编号 = ?"), {key})
                 .toString(),
             QStringLiteral("另一家公司"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 1);

    // An update touches the row of its key only, even among identical rows.
    addPayment(db.path(), QStringLiteral("same"), QStringLiteral("1"), qlonglong(10000));
    addPayment(db.path(), QStringLiteral("same"), QStringLiteral("1"), qlonglong(10000));
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QCOMPARE(t.rowCount(), 3);
        QCOMPARE(t.text(kUnit), QStringLiteral("另一家公司"));
        t.moveTo(2);
        const qint64 third = t.value(kKey).toLongLong();
        t.edit();
        t.setText(kNote, QStringLiteral("改了"));
        t.setText(kAmount, QStringLiteral("2"));
        // Leaving the row stores the change.
        t.first();
        QCOMPARE(t.state(), Table::State::Browse);
        QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("备注 = '改了'")),
                 1);
        QCOMPARE(testutil::querySingle(
                     db.path(), QStringLiteral("select 备注 from Payment where 编号 = ?"), {third})
                     .toString(),
                 QStringLiteral("改了"));
        QCOMPARE(testutil::querySingle(
                     db.path(), QStringLiteral("select 金额 from Payment where 编号 = ?"), {third})
                     .toLongLong(),
                 qint64(20000));
        QCOMPARE(testutil::querySingle(db.path(),
                                       QStringLiteral("select 金额 from Payment where 编号 = ?"),
                                       {third - 1})
                     .toLongLong(),
                 qint64(10000));

        // Edit without a change, then post: nothing breaks, nothing changes.
        t.edit();
        t.post();
        QCOMPARE(t.state(), Table::State::Browse);

        // Cancel of an edit restores the stored values.
        t.moveTo(1);
        t.edit();
        t.setText(kAccount, QStringLiteral("changed"));
        t.cancel();
        QCOMPARE(t.state(), Table::State::Browse);
        QCOMPARE(t.text(kAccount), QStringLiteral("same"));
        QCOMPARE(
            countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("收款帐号 = 'changed'")),
            0);
    }
}

// Setting a field as a view does: a stored row is begun to be edited, a row in editing
// (a new row too) keeps its state and what it holds already.
void TestTable::editValueBeginsEditing()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"));
    Table t(db.conn, QStringLiteral("Payment"));
    t.open();
    QCOMPARE(t.state(), Table::State::Browse);
    t.editValue(kUnit, QStringLiteral("甲公司"));
    QCOMPARE(t.state(), Table::State::Edit);
    QVERIFY(t.isModified());
    t.editValue(kNote, QStringLiteral("月结"));
    t.post();
    QCOMPARE(testutil::querySingle(db.path(), QStringLiteral("select 收款单位 || '/' || 备注 "
                                                             "from Payment where 收款帐号 = 'A'"))
                 .toString(),
             QStringLiteral("甲公司/月结"));
    t.append();
    t.editValue(kAccount, QStringLiteral("B"));
    QCOMPARE(t.state(), Table::State::Insert);
    t.post();
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 2);
}

void TestTable::beforePostAndRefusals()
{
    Db db;
    Table t(db.conn, QStringLiteral("Payment"));
    t.beforePost = [](Table& tb) {
        if (tb.text(kAccount) == QLatin1String("bad"))
            throw DbError(QStringLiteral("帐号不对"));
        if (tb.text(kAccount) == QLatin1String("fix"))
            tb.setText(kNote, QStringLiteral("改过"));
    };
    int afterPosts = 0;
    t.afterPost = [&](Table&) { ++afterPosts; };
    t.open();

    // A refusal from the handler stops the store and keeps the row in editing.
    t.append();
    t.setText(kAccount, QStringLiteral("bad"));
    t.setText(kUnit, QStringLiteral("某单位"));
    const auto msg = dbErrorOf([&] { t.post(); });
    QVERIFY(msg);
    QCOMPARE(*msg, QStringLiteral("帐号不对"));
    QCOMPARE(t.state(), Table::State::Insert);
    QVERIFY(t.isModified());
    QCOMPARE(t.text(kAccount), QStringLiteral("bad"));
    QCOMPARE(t.text(kUnit), QStringLiteral("某单位"));
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(afterPosts, 0);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 0);

    // Leaving the row tries to store it and is refused the same way.
    QVERIFY_THROWS_EXCEPTION(DbError, t.first());
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 0);

    // A change made by the handler is stored with the row.
    t.setText(kAccount, QStringLiteral("fix"));
    t.post();
    QCOMPARE(afterPosts, 1);
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.text(kNote), QStringLiteral("改过"));
    QCOMPARE(testutil::querySingle(
                 db.path(), QStringLiteral("select 备注 from Payment where 收款帐号 = 'fix'"))
                 .toString(),
             QStringLiteral("改过"));

    // The same refusal while editing a stored row.
    t.edit();
    t.setText(kAccount, QStringLiteral("bad"));
    QVERIFY(dbErrorOf([&] { t.post(); }));
    QCOMPARE(t.state(), Table::State::Edit);
    QCOMPARE(t.text(kAccount), QStringLiteral("bad"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("收款帐号 = 'bad'")),
             0);
    t.cancel();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.text(kAccount), QStringLiteral("fix"));

    // Values can only be set while editing, and never into the key.
    QVERIFY_THROWS_EXCEPTION(DbError, t.setText(kAccount, QStringLiteral("x")));
    QCOMPARE(t.text(kAccount), QStringLiteral("fix"));
    t.edit();
    QVERIFY_THROWS_EXCEPTION(DbError, t.setValue(kKey, 99));
    QVERIFY_THROWS_EXCEPTION(DbError, t.setText(QStringLiteral("没有这列"), QStringLiteral("x")));
    t.cancel();

    Table closed(db.conn, QStringLiteral("Payment"));
    QVERIFY_THROWS_EXCEPTION(DbError, closed.value(kAccount));
    QVERIFY_THROWS_EXCEPTION(DbError, closed.first());
}

void TestTable::postErrorHandler()
{
    Db db;
    testutil::execSql(db.path(), QStringLiteral("insert into CompanyType (type) values ('对公')"));

    Table t(db.conn, QStringLiteral("CompanyType"));
    t.open();
    QCOMPARE(t.rowCount(), 1);

    // Without a handler, the database's refusal comes out in Chinese.
    t.append();
    t.setText(u"type", QStringLiteral("对公"));
    const auto msg = dbErrorOf([&] { t.post(); });
    QVERIFY(msg);
    QVERIFY2(msg->contains(QStringLiteral("重复的值")), qPrintable(*msg));
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.rowCount(), 2);

    // A handler asking for an abort turns the failure into a quiet stop.
    QString seen;
    int calls = 0;
    t.onPostError = [&](Table& tb, const DbError& e) {
        ++calls;
        seen = e.message();
        Q_UNUSED(tb);
        return Table::PostErrorAction::Abort;
    };
    QVERIFY_THROWS_EXCEPTION(AbortError, t.post());
    QCOMPARE(calls, 1);
    QVERIFY2(seen.contains(QStringLiteral("重复的值")), qPrintable(seen));
    QCOMPARE(t.state(), Table::State::Insert);
    QVERIFY(t.isModified());
    QCOMPARE(t.text(u"type"), QStringLiteral("对公"));
    QCOMPARE(countRows(db.path(), QStringLiteral("CompanyType")), 1);

    // Once the value is corrected the row stores.
    t.setText(u"type", QStringLiteral("对私"));
    t.post();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(countRows(db.path(), QStringLiteral("CompanyType")), 2);
    QVERIFY(t.value(u"type_id").toLongLong() > 0);

    // The same for an update; a handler answering Fail lets the error through.
    t.onPostError = [&](Table&, const DbError&) {
        ++calls;
        return Table::PostErrorAction::Fail;
    };
    t.edit();
    t.setText(u"type", QStringLiteral("对公"));
    const auto msg2 = dbErrorOf([&] { t.post(); });
    QVERIFY(msg2);
    QVERIFY2(msg2->contains(QStringLiteral("重复的值")), qPrintable(*msg2));
    QCOMPARE(calls, 2);
    QCOMPARE(t.state(), Table::State::Edit);
    QCOMPARE(t.text(u"type"), QStringLiteral("对公"));
    QCOMPARE(countRows(db.path(), QStringLiteral("CompanyType"), QStringLiteral("type = '对私'")),
             1);
    t.cancel();
    QCOMPARE(t.text(u"type"), QStringLiteral("对私"));
}

// ---------------------------------------------------------------------------
// Text widths

void TestTable::widthRefusal()
{
    Db db;
    Table t(db.conn, QStringLiteral("Payment"));
    t.open();

    const QString tooLong(51, QLatin1Char('1'));
    t.append();
    t.setText(kAccount, tooLong);
    auto msg = dbErrorOf([&] { t.post(); });
    QVERIFY(msg);
    QVERIFY2(msg->contains(kAccount), qPrintable(*msg));
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.text(kAccount), tooLong); // nothing was cut
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 0);

    // A one-character column.
    t.setText(kAccount, QString(50, QLatin1Char('1')));
    t.setText(kLocal, QStringLiteral("是否"));
    msg = dbErrorOf([&] { t.post(); });
    QVERIFY(msg);
    QVERIFY2(msg->contains(kLocal), qPrintable(*msg));
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.text(kLocal), QStringLiteral("是否"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 0);

    // Widths count characters, not bytes: fifty Chinese characters fit.
    const QString chinese50(50, QChar(0x4E2D));
    t.setText(kLocal, QStringLiteral("是"));
    t.setText(kAccount, chinese50);
    t.post();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.text(kAccount), chinese50);
    QCOMPARE(
        testutil::querySingle(db.path(), QStringLiteral("select 收款帐号 from Payment")).toString(),
        chinese50);

    // One more is refused when editing too, and the stored value stays.
    t.edit();
    t.setText(kAccount, chinese50 + QChar(0x6587));
    QVERIFY(dbErrorOf([&] { t.post(); }));
    QCOMPARE(t.state(), Table::State::Edit);
    QCOMPARE(t.text(kAccount).size(), 51);
    QCOMPARE(
        testutil::querySingle(db.path(), QStringLiteral("select 收款帐号 from Payment")).toString(),
        chinese50);
    t.cancel();
    QCOMPARE(t.text(kAccount), chinese50);

    // The database itself refuses an over-long text written by another program.
    QVERIFY_THROWS_EXCEPTION(
        std::runtime_error,
        testutil::execSql(db.path(), QStringLiteral("insert into Payment (收款帐号) values (?)"),
                          {tooLong}));
    QVERIFY_THROWS_EXCEPTION(
        std::runtime_error,
        testutil::execSql(db.path(),
                          QStringLiteral("insert into Payment (同城交易) values ('ab')")));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 1);
}

// ---------------------------------------------------------------------------
// Money

void TestTable::moneyRoundTrip()
{
    Db db;
    const QString maxText = QStringLiteral("922337203685477.5807");
    const QString minText = QStringLiteral("-922337203685477.5808");
    qint64 maxKey = 0;
    qint64 minKey = 0;
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        t.append();
        t.setText(kAmount, maxText);
        QCOMPARE(t.text(kAmount), maxText);
        t.post();
        maxKey = t.value(kKey).toLongLong();
        t.append();
        t.setText(kAmount, minText);
        t.post();
        minKey = t.value(kKey).toLongLong();
        QCOMPARE(t.text(kAmount), minText);
        t.close();
    }
    QCOMPARE(testutil::querySingle(
                 db.path(), QStringLiteral("select 金额 from Payment where 编号 = ?"), {maxKey})
                 .toLongLong(),
             std::numeric_limits<qint64>::max());
    QCOMPARE(testutil::querySingle(
                 db.path(), QStringLiteral("select 金额 from Payment where 编号 = ?"), {minKey})
                 .toLongLong(),
             std::numeric_limits<qint64>::min());
    QCOMPARE(
        testutil::querySingle(
            db.path(), QStringLiteral("select typeof(金额) from Payment where 编号 = ?"), {maxKey})
            .toString(),
        QStringLiteral("integer"));

    // A fresh table on the same connection.
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QCOMPARE(t.rowCount(), 2);
        QVERIFY(t.locate(kKey, {maxKey}));
        QCOMPARE(t.text(kAmount), maxText);
        QCOMPARE(t.value(kAmount).value<Money>().units(), std::numeric_limits<qint64>::max());
        QVERIFY(t.locate(kKey, {minKey}));
        QCOMPARE(t.text(kAmount), minText);
        QCOMPARE(t.value(kAmount).value<Money>().units(), std::numeric_limits<qint64>::min());
    }

    // After the connection is closed and opened again.
    db.conn.close();
    db.conn.open(db.path());
    {
        Table t(db.conn, QStringLiteral("Payment"));
        t.open();
        QCOMPARE(columnTexts(t, kAmount), (QStringList{maxText, minText}));
    }
}

void TestTable::moneyInput()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"), QStringLiteral("1"), qlonglong(15005000));
    Table t(db.conn, QStringLiteral("Payment"));
    t.open();
    QCOMPARE(t.text(kAmount), QStringLiteral("1500.5"));

    t.edit();
    for (const QString& bad :
         {QStringLiteral("1,000"), QStringLiteral("abc"), QStringLiteral("1.23456"),
          QStringLiteral("1e3"), QStringLiteral("922337203685477.5808")}) {
        QVERIFY2(dbErrorOf([&] { t.setText(kAmount, bad); }), qPrintable(bad));
        QCOMPARE(t.text(kAmount), QStringLiteral("1500.5")); // the refused text changed nothing
    }
    t.setValue(kAmount, QVariant::fromValue(Money::fromUnits(123)));
    QCOMPARE(t.text(kAmount), QStringLiteral("0.0123"));
    t.setValue(kAmount, 7);
    QCOMPARE(t.text(kAmount), QStringLiteral("7"));

    // An empty text clears the amount: NULL in the file.
    t.setText(kAmount, QString());
    QVERIFY(t.isNull(kAmount));
    t.post();
    QVERIFY(t.isNull(kAmount));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("金额 is null")), 1);

    t.append();
    t.setText(kAccount, QStringLiteral("B"));
    t.setText(kAmount, QStringLiteral("  "));
    t.post();
    QVERIFY(t.isNull(kAmount));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("金额 is null")), 2);

    t.edit();
    t.setText(kAmount, QStringLiteral("0.0001"));
    t.post();
    QCOMPARE(testutil::querySingle(db.path(),
                                   QStringLiteral("select 金额 from Payment where 收款帐号 = 'B'"))
                 .toLongLong(),
             qint64(1));
}

// ---------------------------------------------------------------------------
// Filter

void TestTable::filter()
{
    Db db;
    addPayment(db.path(), QStringLiteral("a"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("b"), QStringLiteral("2"));
    addPayment(db.path(), QStringLiteral("c"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("d"), QStringLiteral("0"));
    addPayment(db.path(), QStringLiteral("e"), QStringLiteral(""));
    addPayment(db.path(), QStringLiteral("f"), QVariant());
    addPayment(db.path(), QStringLiteral("g"), QStringLiteral("10"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.open();
    QCOMPARE(t.rowCount(), 7);

    // The text alone does nothing while the switch is off.
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    QCOMPARE(t.rowCount(), 7);
    QVERIFY(!t.isFiltered());

    t.setFiltered(true);
    QVERIFY(t.isFiltered());
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());

    // Switching off shows every row, the first current.
    t.next();
    QCOMPARE(t.text(kAccount), QStringLiteral("c"));
    scrolls = 0;
    t.setFiltered(false);
    QCOMPARE(t.rowCount(), 7);
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(t.text(kAccount), QStringLiteral("a"));
    QVERIFY(t.bof());
    QCOMPARE(scrolls, 1);

    // Setting the same text again is no change.
    t.setFiltered(true);
    t.next();
    QCOMPARE(t.currentRow(), 1);
    scrolls = 0;
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    QCOMPARE(scrolls, 0);
    QCOMPARE(t.currentRow(), 1);
    t.setFiltered(true);
    QCOMPARE(scrolls, 0);
    QCOMPARE(t.currentRow(), 1);

    // A new text while filtering applies at once.
    t.setFilterText(QStringLiteral("用户编号 = 0"));
    QCOMPARE(scrolls, 1);
    QCOMPARE(columnTexts(t, kAccount), QStringList{QStringLiteral("d")});

    t.setFilterText(QStringLiteral("用户编号 = 1 AND 收款帐号 = 'c'"));
    QCOMPARE(columnTexts(t, kAccount), QStringList{QStringLiteral("c")});
    t.setFilterText(QStringLiteral("用户编号 = 2 OR 收款帐号 = 'a'"));
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    t.setFilterText(QStringLiteral("(用户编号 = 1 or 用户编号 = 2) and not 收款帐号 = 'a'"));
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    t.setFilterText(QStringLiteral("用户编号 is null"));
    QCOMPARE(columnTexts(t, kAccount), QStringList{QStringLiteral("f")});

    // A bad text is refused and the filter in force stays.
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.next();
    scrolls = 0;
    QVERIFY(dbErrorOf([&] { t.setFilterText(QStringLiteral("用户编号 = = 1")); }));
    QVERIFY(dbErrorOf([&] { t.setFilterText(QStringLiteral("没有这列 = 1")); }));
    QVERIFY(dbErrorOf([&] { t.setFilterText(QStringLiteral("用户编号 = '1")); }));
    QCOMPARE(t.filterText(), QStringLiteral("用户编号 = 1"));
    QVERIFY(t.isFiltered());
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(scrolls, 0);

    // An empty text shows everything even with the switch on.
    t.setFilterText(QString());
    QCOMPARE(t.rowCount(), 7);
}

void TestTable::filterQuotedAndEmpty()
{
    Db db;
    addCompany(db.path(), QStringLiteral("k3"), QStringLiteral("3"));
    addCompany(db.path(), QStringLiteral("k03"), QStringLiteral("03"));
    addCompany(db.path(), QStringLiteral("k13"), QStringLiteral("13"));
    addCompany(db.path(), QStringLiteral("kEmpty"), QStringLiteral(""));
    addCompany(db.path(), QStringLiteral("kNull"), QVariant());

    Table t(db.conn, QStringLiteral("Company"));
    t.setFiltered(true);
    t.open();
    QCOMPARE(t.rowCount(), 5);

    // Quoted: a text comparison.
    t.setFilterText(QStringLiteral("账号分类='3'"));
    QCOMPARE(columnTexts(t, kAccount), QStringList{QStringLiteral("k3")});
    // Unquoted: the column's text read as a number.
    t.setFilterText(QStringLiteral("账号分类 = 3"));
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("k3"), QStringLiteral("k03")}));
    // The empty text is not NULL.
    t.setFilterText(QStringLiteral("账号分类=''"));
    QCOMPARE(columnTexts(t, kAccount), QStringList{QStringLiteral("kEmpty")});
    t.setFilterText(QStringLiteral("账号分类 <> '3'"));
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("k03"), QStringLiteral("k13"), QStringLiteral("kEmpty")}));
}

// ---------------------------------------------------------------------------
// Sort

// Texts sort in the order of the Chinese collator whatever they hold: ASCII of every
// kind (letters of both cases, digits, blanks, punctuation, control characters), with
// Chinese mixed in or not; texts the collator holds equal keep the order of their keys.
// Then a few rows stored and deleted are put in their places in the kept order.
void TestTable::sortFollowsTheCollator()
{
    QCollator chinese{QLocale(QLocale::Chinese, QLocale::China)};
    chinese.setNumericMode(false);
    chinese.setCaseSensitivity(Qt::CaseSensitive);
    QRandomGenerator random(20261209);
    const QString ascii = [] {
        QString all;
        for (char16_t c = 1; c < 0x80; ++c)
            all += QChar(c);
        return all;
    }();
    const QString mixed = ascii + QStringLiteral("中国银行甲乙丙丁张王李赵");
    // The order computed ahead on its thread too: taken as it is, or dropped because a
    // row changed meanwhile.
    struct Run
    {
        QString alphabet;
        bool presorted;
        bool changeFirst;
    };
    for (const Run& run : {Run{ascii, false, false}, Run{mixed, false, false},
                           Run{mixed, true, false}, Run{ascii, true, true}}) {
        const QString& alphabet = run.alphabet;
        Db db;
        db.conn.beginTransaction();
        bankprep::Statement insert(
            db.conn, QStringLiteral("insert into Payment(收款帐号, 用户编号) values (?, '1')"));
        for (int i = 0; i < 3000; ++i) {
            QString text;
            for (int n = int(random.bounded(7)); n > 0; --n)
                text += alphabet.at(random.bounded(int(alphabet.size())));
            insert.bind(0, text);
            insert.exec();
        }
        db.conn.commit();
        Table t(db.conn, QStringLiteral("Payment"));
        if (run.presorted)
            t.setPresortedFields({kAccount});
        t.open();
        if (run.changeFirst) {
            t.moveTo(11);
            t.edit();
            t.setValue(kAccount, QStringLiteral("zZ"));
            t.post();
        }
        t.setSortField(kAccount);
        const auto checkOrder = [&] {
            const int f = t.fieldIndex(kAccount);
            for (int r = 1; r < t.rowCount(); ++r) {
                const int c = chinese.compare(t.textAt(r - 1, f), t.textAt(r, f));
                if (c > 0 || (c == 0 && t.keyAt(r - 1) > t.keyAt(r)))
                    QFAIL(qPrintable(
                        QStringLiteral("rows %1 and %2 out of order").arg(r).arg(r + 1)));
            }
        };
        checkOrder();
        t.moveTo(100);
        t.remove();
        t.moveTo(7);
        t.edit();
        t.setValue(kAccount, QStringLiteral("Mm-1"));
        t.post();
        t.append();
        t.setValue(kAccount, QStringLiteral("a b"));
        t.post();
        t.setSortField(kAmount);
        t.setSortField(kAccount); // the kept order, brought up to date
        checkOrder();
        QCOMPARE(t.rowCount(), 3000);
    }
}

void TestTable::sort()
{
    Db db;
    addPayment(db.path(), QStringLiteral("2"), QStringLiteral("1"), qlonglong(300000));   // 30
    addPayment(db.path(), QStringLiteral("10"), QStringLiteral("1"), qlonglong(1000000)); // 100
    addPayment(db.path(), QStringLiteral("1"), QStringLiteral("1"), qlonglong(20000));    // 2
    addPayment(db.path(), QStringLiteral("5"), QStringLiteral("1"), qlonglong(90000));    // 9

    Table t(db.conn, QStringLiteral("Payment"));
    t.open();
    const QStringList stored{QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("1"),
                             QStringLiteral("5")};
    QCOMPARE(columnTexts(t, kAccount), stored);
    QCOMPARE(t.text(kAccount), QStringLiteral("2"));

    // Texts compare as texts, and the current row stays current.
    t.setSortField(kAccount);
    QCOMPARE(t.sortField(), kAccount);
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("1"), QStringLiteral("10"),
                                                    QStringLiteral("2"), QStringLiteral("5")}));
    QCOMPARE(t.currentRow(), 2);
    QCOMPARE(t.text(kAccount), QStringLiteral("2"));

    // Amounts compare as numbers.
    t.setSortField(kAmount);
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("1"), QStringLiteral("5"),
                                                    QStringLiteral("2"), QStringLiteral("10")}));
    QCOMPARE(columnTexts(t, kAmount), (QStringList{QStringLiteral("2"), QStringLiteral("9"),
                                                   QStringLiteral("30"), QStringLiteral("100")}));
    QCOMPARE(t.text(kAccount), QStringLiteral("2"));
    QCOMPARE(t.currentRow(), 2);

    // Back to stored order.
    t.moveTo(3);
    QCOMPARE(t.text(kAccount), QStringLiteral("10"));
    t.setSortField(QString());
    QVERIFY(t.sortField().isEmpty());
    QCOMPARE(columnTexts(t, kAccount), stored);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("10"));

    QVERIFY(dbErrorOf([&] { t.setSortField(QStringLiteral("没有这列")); }));
    QVERIFY(t.sortField().isEmpty());
}

// ---------------------------------------------------------------------------
// Locate

void TestTable::locate()
{
    Db db;
    addPayment(db.path(), QStringLiteral("ABC"), QStringLiteral("1"), QVariant(),
               QStringLiteral("单位甲"));
    addPayment(db.path(), QStringLiteral("abc"), QStringLiteral("2"), QVariant(),
               QStringLiteral("单位乙"));
    addPayment(db.path(), QStringLiteral("ABCD"), QStringLiteral("1"), QVariant(),
               QStringLiteral("单位丙"));
    addPayment(db.path(), QStringLiteral("XYZ"), QStringLiteral("2"), QVariant(),
               QStringLiteral("单位甲"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.open();

    t.moveTo(3);
    scrolls = 0;
    QVERIFY(t.locate(kAccount, {QStringLiteral("ABC")}));
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(scrolls, 1);
    QVERIFY(t.locate(kAccount, {QStringLiteral("abc")}));
    QCOMPARE(t.currentRow(), 1);
    QVERIFY(t.locate(kAccount, {QStringLiteral("ABCD")}));
    QCOMPARE(t.currentRow(), 2);

    // Case-insensitive on request only.
    QVERIFY(!t.locate(kAccount, {QStringLiteral("xyz")}));
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(t.locate(kAccount, {QStringLiteral("xyz")}, true));
    QCOMPARE(t.currentRow(), 3);
    QVERIFY(t.locate(kAccount, {QStringLiteral("abc")}, true));
    QCOMPARE(t.currentRow(), 0);

    // Whole values only: a prefix is not a match.
    t.moveTo(3);
    scrolls = 0;
    QVERIFY(!t.locate(kAccount, {QStringLiteral("AB")}));
    QVERIFY(!t.locate(kAccount, {QStringLiteral("XY")}, true));
    QCOMPARE(t.currentRow(), 3);
    QCOMPARE(scrolls, 0);

    // Two columns.
    QVERIFY(t.locate(QStringLiteral("收款帐号;收款单位"),
                     {QStringLiteral("ABC"), QStringLiteral("单位甲")}));
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(!t.locate(QStringLiteral("收款帐号;收款单位"),
                      {QStringLiteral("ABC"), QStringLiteral("单位乙")}));
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.locate(QStringLiteral("收款帐号;收款单位"),
                     {QStringLiteral("ABC"), QStringLiteral("单位乙")}, true));
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("abc"));

    // Only the rows the filter presents are searched.
    t.setFilterText(QStringLiteral("用户编号 = 2"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 2);
    QVERIFY(!t.locate(kAccount, {QStringLiteral("ABCD")}));
    QVERIFY(!t.locate(kAccount, {QStringLiteral("ABC")}));
    QVERIFY(t.locate(kAccount, {QStringLiteral("XYZ")}));
    QCOMPARE(t.currentRow(), 1);

    // Columns and values must agree.
    QVERIFY(
        dbErrorOf([&] { t.locate(QStringLiteral("收款帐号;收款单位"), {QStringLiteral("XYZ")}); }));
    QVERIFY(dbErrorOf([&] { t.locate(QStringLiteral("没有这列"), {QStringLiteral("XYZ")}); }));
}

// ---------------------------------------------------------------------------
// Bookmarks

void TestTable::bookmarks()
{
    Db db;
    addPayment(db.path(), QStringLiteral("3"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("1"), QStringLiteral("2"));
    addPayment(db.path(), QStringLiteral("2"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("4"), QStringLiteral("1"));

    Table t(db.conn, QStringLiteral("Payment"));
    t.open();
    t.moveTo(2);
    const qint64 key = t.value(kKey).toLongLong();
    const Bookmark bm = t.bookmark();
    QVERIFY(bm.valid);
    QVERIFY(t.bookmarkValid(bm));

    t.setSortField(kAccount);
    t.first();
    QCOMPARE(t.text(kAccount), QStringLiteral("1"));
    QVERIFY(t.gotoBookmark(bm));
    QCOMPARE(t.value(kKey).toLongLong(), key);
    QCOMPARE(t.currentRow(), 1);

    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.setFiltered(true);
    t.last();
    QVERIFY(t.bookmarkValid(bm));
    QVERIFY(t.gotoBookmark(bm));
    QCOMPARE(t.value(kKey).toLongLong(), key);
    QCOMPARE(t.currentRow(), 0);

    t.setFiltered(false);
    QVERIFY(t.gotoBookmark(bm));
    QCOMPARE(t.value(kKey).toLongLong(), key);

    t.requery();
    t.last();
    QVERIFY(t.gotoBookmark(bm));
    QCOMPARE(t.value(kKey).toLongLong(), key);
    QCOMPARE(t.text(kAccount), QStringLiteral("2"));

    // No bookmark for a new row, and an empty one goes nowhere.
    t.append();
    QVERIFY(!t.bookmark().valid);
    t.cancel();
    QVERIFY(!t.gotoBookmark(Bookmark{}));
    QVERIFY(!t.bookmarkValid(Bookmark{}));

    // A deleted row's bookmark is dead.
    QVERIFY(t.gotoBookmark(bm));
    t.remove();
    QVERIFY(!t.bookmarkValid(bm));
    t.first();
    QVERIFY(!t.gotoBookmark(bm));
    QCOMPARE(t.currentRow(), 0);

    // Also when another program deleted it.
    t.last();
    const Bookmark other = t.bookmark();
    QVERIFY(t.bookmarkValid(other));
    testutil::execSql(db.path(), QStringLiteral("delete from Payment where 编号 = ?"), {other.key});
    t.requery();
    QVERIFY(!t.bookmarkValid(other));
    QVERIFY(!t.gotoBookmark(other));
}

// ---------------------------------------------------------------------------
// Delete

void TestTable::remove()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"));
    addPayment(db.path(), QStringLiteral("B"));
    addPayment(db.path(), QStringLiteral("C"));
    addPayment(db.path(), QStringLiteral("D"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.open();

    // The next row becomes current.
    t.moveTo(1);
    const qint64 keyB = t.value(kKey).toLongLong();
    scrolls = 0;
    t.remove();
    QCOMPARE(scrolls, 1);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("编号 = ?"), {keyB}),
             0);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("C"));

    // Deleting the last row makes the one before it current.
    t.last();
    t.remove();
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.currentRow(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("C"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("收款帐号 = 'D'")), 0);

    // A refusal from the before-delete handler keeps the row.
    t.beforeDelete = [](Table&) { throw AbortError(); };
    QVERIFY_THROWS_EXCEPTION(AbortError, t.remove());
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.text(kAccount), QStringLiteral("C"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 2);
    t.beforeDelete = nullptr;

    // Typed changes to a deleted row go with it.
    t.edit();
    t.setText(kAccount, QStringLiteral("changed"));
    t.remove();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.text(kAccount), QStringLiteral("A"));
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 1);
    QCOMPARE(
        countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("收款帐号 = 'changed'")), 0);

    t.remove();
    QCOMPARE(t.rowCount(), 0);
    QCOMPARE(t.currentRow(), -1);
    QVERIFY(t.bof() && t.eof());
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 0);

    // Nothing left to delete.
    QVERIFY(dbErrorOf([&] { t.remove(); }));
}

// ---------------------------------------------------------------------------
// Re-reading, closing and opening

void TestTable::requeryAndReopen()
{
    Db db;
    addPayment(db.path(), QStringLiteral("b"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("a"), QStringLiteral("2"));
    addPayment(db.path(), QStringLiteral("c"), QStringLiteral("1"));

    Table t(db.conn, QStringLiteral("Payment"));
    int scrolls = 0;
    t.afterScroll = [&](Table&) { ++scrolls; };
    t.open();
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.setFiltered(true);
    t.setSortField(kAccount);
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));

    // Rows written by another program appear only when re-read.
    addPayment(db.path(), QStringLiteral("a2"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("z"), QStringLiteral("2"));
    testutil::execSql(
        db.path(), QStringLiteral("update Payment set 收款单位 = '新单位' where 收款帐号 = 'c'"));
    QCOMPARE(t.rowCount(), 2);
    t.last();
    QVERIFY(t.text(kUnit).isEmpty());
    scrolls = 0;
    t.requery();
    QCOMPARE(scrolls, 1);
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("a2"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QVERIFY(t.isFiltered());
    QCOMPARE(t.filterText(), QStringLiteral("用户编号 = 1"));
    QCOMPARE(t.sortField(), kAccount);
    t.last();
    QCOMPARE(t.text(kUnit), QStringLiteral("新单位"));

    // A changed row is stored before re-reading.
    t.edit();
    t.setText(kNote, QStringLiteral("改"));
    t.requery();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("备注 = '改'")), 1);

    // Close stores a changed row and drops an untouched new one.
    t.first();
    t.edit();
    t.setText(kNote, QStringLiteral("关闭前"));
    t.close();
    QVERIFY(!t.isOpen());
    QCOMPARE(t.state(), Table::State::Inactive);
    QCOMPARE(t.rowCount(), 0);
    QCOMPARE(t.currentRow(), -1);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment"), QStringLiteral("备注 = '关闭前'")), 1);

    t.open();
    QVERIFY(t.isOpen());
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("a2"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(t.text(kNote), QStringLiteral("关闭前"));
    t.append();
    t.close();
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 5);
    t.open();
    t.setFiltered(false);
    QCOMPARE(t.rowCount(), 5);
    // Opening twice is harmless.
    t.open();
    QCOMPARE(t.rowCount(), 5);

    QVERIFY(dbErrorOf([&] { t.setFields({}); })); // not while open
    Table missing(db.conn, QStringLiteral("NoSuchTable"));
    QVERIFY(dbErrorOf([&] { missing.open(); }));
    QVERIFY(!missing.isOpen());
}

// ---------------------------------------------------------------------------
// Notifications to views

void TestTable::disabledControls()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"));
    addPayment(db.path(), QStringLiteral("B"));
    addPayment(db.path(), QStringLiteral("C"));

    Table t(db.conn, QStringLiteral("Payment"));
    t.open();

    QSignalSpy current(&t, &Table::currentRowChanged);
    QSignalSpy changed(&t, &Table::rowChanged);
    QSignalSpy reset(&t, &Table::wasReset);
    QSignalSpy aboutReset(&t, &Table::aboutToReset);
    QSignalSpy inserted(&t, &Table::rowInserted);
    QSignalSpy removed(&t, &Table::rowRemoved);
    QSignalSpy state(&t, &Table::stateChanged);
    const auto total = [&] {
        return current.size() + changed.size() + reset.size() + aboutReset.size() +
               inserted.size() + removed.size() + state.size();
    };

    // Enabled: signals flow.
    t.next();
    QCOMPARE(current.size(), 1);
    t.edit();
    t.setText(kNote, QStringLiteral("x"));
    QVERIFY(changed.size() >= 1);
    t.post();
    current.clear();
    changed.clear();
    state.clear();

    // Disabled: silence, whatever happens.
    t.disableControls();
    QVERIFY(t.controlsDisabled());
    t.next();
    t.last();
    t.first();
    t.edit();
    t.setText(kNote, QStringLiteral("y"));
    t.post();
    t.append();
    t.setText(kAccount, QStringLiteral("D"));
    t.post();
    t.append();
    t.cancel();
    QVERIFY(t.locate(kAccount, {QStringLiteral("B")}));
    t.setSortField(kAccount);
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.setFiltered(true);
    t.remove();
    t.requery();
    QCOMPARE(total(), 0);

    // One reset when the views are enabled again.
    t.enableControls();
    QVERIFY(!t.controlsDisabled());
    QCOMPARE(reset.size(), 1);
    QCOMPARE(aboutReset.size(), 1);
    QCOMPARE(inserted.size(), 0);
    QCOMPARE(removed.size(), 0);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(countRows(db.path(), QStringLiteral("Payment")), 3);

    // Nothing happened: nothing to report.
    current.clear();
    reset.clear();
    aboutReset.clear();
    state.clear();
    t.disableControls();
    t.enableControls();
    QCOMPARE(total(), 0);

    // Nested: only the outermost enable reports.
    t.disableControls();
    t.disableControls();
    t.next();
    t.enableControls();
    QVERIFY(t.controlsDisabled());
    QCOMPARE(total(), 0);
    t.enableControls();
    QVERIFY(!t.controlsDisabled());
    QCOMPARE(reset.size(), 1);

    // An unbalanced enable is harmless.
    reset.clear();
    t.enableControls();
    QCOMPARE(reset.size(), 0);
}

// ---------------------------------------------------------------------------
// Calculated fields

void TestTable::calculatedField()
{
    Db db;
    Table t(db.conn, QStringLiteral("Payment"));
    t.setFields(paymentFieldsWithRowNumber());
    QCOMPARE(t.fieldIndex(u"no"), 0);
    QCOMPARE(t.fieldIndex(kAccount), 2);
    QCOMPARE(t.fieldCount(), 13);

    // An empty table still gives the row number of its (absent) current row.
    t.open();
    QCOMPARE(t.value(u"no").toInt(), 1);
    t.close();

    addPayment(db.path(), QStringLiteral("A"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("B"), QStringLiteral("2"));
    addPayment(db.path(), QStringLiteral("C"), QStringLiteral("1"));
    t.open();
    QCOMPARE(t.rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(t.valueAt(r, 0).toInt(), r + 1);
        QCOMPARE(t.textAt(r, 0), QString::number(r + 1));
    }
    QCOMPARE(columnTexts(t, kAccount),
             (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    t.moveTo(1);
    QCOMPARE(t.text(u"no"), QStringLiteral("2"));
    t.last();
    QCOMPARE(t.text(u"no"), QStringLiteral("3"));

    // A new row shows 1; rows after an inserted one keep their numbers.
    t.append();
    QCOMPARE(t.text(u"no"), QStringLiteral("1"));
    QCOMPARE(t.valueAt(3, 0).toInt(), 1);
    QCOMPARE(t.valueAt(2, 0).toInt(), 3);
    t.cancel();
    t.moveTo(1);
    t.insert();
    QCOMPARE(t.text(u"no"), QStringLiteral("1"));
    QCOMPARE(columnTexts(t, QStringLiteral("no")),
             (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2"),
                          QStringLiteral("3")}));
    QCOMPARE(t.textAt(2, t.fieldIndex(kAccount)), QStringLiteral("B"));

    // Read-only, and not a sort key.
    QVERIFY(dbErrorOf([&] { t.setValue(u"no", 5); }));
    t.cancel();
    QVERIFY(dbErrorOf([&] { t.setSortField(QStringLiteral("no")); }));

    // Stored fields keep working behind the calculated one.
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.setFiltered(true);
    QCOMPARE(columnTexts(t, kAccount), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    QCOMPARE(columnTexts(t, QStringLiteral("no")),
             (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    t.append();
    t.setText(kAccount, QStringLiteral("D"));
    t.setText(kUser, QStringLiteral("1"));
    t.post();
    QCOMPARE(t.text(u"no"), QStringLiteral("3"));
    QCOMPARE(testutil::querySingle(
                 db.path(), QStringLiteral("select 用户编号 from Payment where 收款帐号 = 'D'"))
                 .toString(),
             QStringLiteral("1"));

    // A filter given before the fields still finds its column once the fields change.
    Table early(db.conn, QStringLiteral("Payment"));
    early.setFilterText(QStringLiteral("用户编号 = 1"));
    early.setFiltered(true);
    early.setFields(paymentFieldsWithRowNumber());
    early.open();
    QCOMPARE(columnTexts(early, kAccount),
             (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("D")}));
    QCOMPARE(columnTexts(early, QStringLiteral("no")),
             (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

// Fields that no longer hold the filter's column drop the filter: it must never be
// applied to whatever column now sits at the old position.
void TestTable::filterDroppedWithItsColumn()
{
    Db db;
    addPayment(db.path(), QStringLiteral("A"), QStringLiteral("1"));
    addPayment(db.path(), QStringLiteral("B"), QStringLiteral("2"));
    Table t(db.conn, QStringLiteral("Payment"));
    t.setFilterText(QStringLiteral("用户编号 = 1"));
    t.setFiltered(true);
    QList<FieldDef> fields;
    for (const bankprep::ColumnDef& c : bankprep::findTableDef(u"Payment")->columns) {
        if (c.name == kUser)
            continue;
        FieldDef f;
        f.column = c;
        fields << f;
    }
    QVERIFY(dbErrorOf([&] { t.setFields(fields); }).has_value());
    QVERIFY(t.filterText().isEmpty());
    t.open();
    QCOMPARE(t.recordCount(), 2);
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
