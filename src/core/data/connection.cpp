#include "core/data/connection.h"

#include "core/data/fileguard.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/passwordhash.h"
#include "core/data/schema.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <sqlite3.h>

namespace bankprep {

namespace {

QAtomicInt g_connectionCounter;

QVariant bindable(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<Money>())
        return QVariant::fromValue<qlonglong>(value.value<Money>().units());
    return value;
}

} // namespace

namespace {

// The primary result code a message stands for, when only SQLite's English text arrived
// (the driver does not always pass the code on).
int codeFromText(const QString& text)
{
    const QString t = text.toLower();
    if (t.contains(QLatin1String("disk is full")) || t.contains(QLatin1String("disk full")))
        return SQLITE_FULL;
    if (t.contains(QLatin1String("readonly")) || t.contains(QLatin1String("read-only")))
        return SQLITE_READONLY;
    if (t.contains(QLatin1String("is locked")))
        return SQLITE_LOCKED;
    if (t.contains(QLatin1String("busy")))
        return SQLITE_BUSY;
    if (t.contains(QLatin1String("malformed")) || t.contains(QLatin1String("corrupt")))
        return SQLITE_CORRUPT;
    if (t.contains(QLatin1String("not a database")))
        return SQLITE_NOTADB;
    if (t.contains(QLatin1String("disk i/o error")))
        return SQLITE_IOERR;
    if (t.contains(QLatin1String("unable to open database")))
        return SQLITE_CANTOPEN;
    if (t.contains(QLatin1String("out of memory")))
        return SQLITE_NOMEM;
    return SQLITE_ERROR;
}

} // namespace

QString describeSqliteError(int code, const QString& text)
{
    if ((code & 0xff) == SQLITE_ERROR || code == 0)
        code = codeFromText(text);
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库正被其他程序使用（已锁定），请稍后再试。");
    case SQLITE_READONLY:
        return QStringLiteral("数据库文件是只读的，无法保存数据。请检查文件和所在目录的写入权限。");
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满，数据未能保存。请腾出磁盘空间后再试。");
    case SQLITE_IOERR:
        return QStringLiteral("读写数据库文件时发生磁盘错误，数据未能保存。");
    case SQLITE_CORRUPT:
        return QStringLiteral("数据库文件已损坏。");
    case SQLITE_NOTADB:
        return QStringLiteral("该文件不是有效的数据库文件，或已损坏。");
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法打开数据库文件（文件不存在、无访问权限或目录不可写）。");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("没有访问数据库文件的权限。");
    case SQLITE_NOMEM:
        return QStringLiteral("内存不足，操作未能完成。");
    case SQLITE_CONSTRAINT: {
        static const QLatin1String check("CHECK constraint failed: ");
        static const QLatin1String unique("UNIQUE constraint failed: ");
        if (text.startsWith(check)) {
            const QString name = text.mid(check.size()).trimmed();
            if (const ColumnDef* col = columnForWidthConstraint(name))
                return tooLongMessage(*col);
            return QStringLiteral("数据不符合要求（%1），未能保存。").arg(name);
        }
        if (text.startsWith(unique)) {
            QString column = text.mid(unique.size()).trimmed();
            const qsizetype dot = column.lastIndexOf(QLatin1Char('.'));
            if (dot >= 0)
                column = column.mid(dot + 1);
            return QStringLiteral("不能保存：字段“%1”中出现了重复的值，该值已经存在。").arg(column);
        }
        return QStringLiteral("数据不符合数据库的约束，未能保存（%1）。").arg(text);
    }
    default:
        break;
    }
    return QStringLiteral("数据库操作失败：%1").arg(text);
}

DbError sqliteError(int code, const QString& text)
{
    return DbError(describeSqliteError(code, text), code);
}

DbError sqlError(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    const QString text = error.driverText().isEmpty() ? error.text() : error.driverText();
    // The driver text is Qt's own ("Unable to execute statement"); SQLite's message is
    // in the database text.
    const QString sqliteText = error.databaseText().isEmpty() ? text : error.databaseText();
    return sqliteError(ok ? code : SQLITE_ERROR, sqliteText);
}

Connection::Connection()
    : m_connectionName(QStringLiteral("bankprep-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
}

DbError Connection::openFailure(const QString& reason, int code) const
{
    return DbError(QStringLiteral("无法打开数据库文件“%1”：%2")
                       .arg(QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath()), reason),
                   code);
}

bool isDamagedDatabaseError(const DbError& error)
{
    const int code = error.code() & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

void Connection::open(const QString& path, bool createIfMissing)
{
    close();
    m_path = path;
    m_createdSchema = false;

    const QFileInfo info(path);
    const bool existed = info.exists();
    if (existed && !info.isFile())
        throw openFailure(QStringLiteral("同名的不是一个文件。"));
    if (!existed && !createIfMissing)
        throw openFailure(QStringLiteral("文件不存在。"));
    if (!existed) {
        const QFileInfo dir(info.absolutePath());
        if (!dir.isDir())
            throw openFailure(QStringLiteral("所在目录不存在。"));
        if (!dir.isWritable())
            throw openFailure(QStringLiteral("所在目录不可写，无法创建数据库。"));
    } else if (!info.isReadable()) {
        throw openFailure(QStringLiteral("没有读取该文件的权限。"));
    } else if (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()) {
        throw openFailure(
            QStringLiteral("文件是只读的（或所在目录不可写），无法保存数据。请检查权限。"));
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            const DbError e = sqlError(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw openFailure(e.message(), e.code());
        }
    }
    // From now on SQLite holds the file: nothing else of this process may open it.
    FileGuard::registerDatabase(path);
    m_registered = true;

    try {
        // SQLite opens lazily: the first read tells whether the file is a database.
        // Everything is read and checked before anything is written, so that a file
        // that is refused stays exactly as it was.
        exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        validateSchema();
        prepareSchema();
    } catch (const DbError& e) {
        const bool created = m_createdSchema && !existed;
        close();
        if (created)
            QFile::remove(path); // only a file this call made, never the clerk's
        throw openFailure(e.message(), e.code());
    }
}

void Connection::validateSchema()
{
    const QStringList existing = tableNames();
    int present = 0;
    for (const TableDef& t : databaseTables()) {
        QString found;
        for (const QString& name : existing) {
            if (name.compare(t.name, Qt::CaseInsensitive) == 0)
                found = name;
        }
        if (found.isEmpty())
            continue;
        ++present;
        for (const ColumnDef& c : t.columns) {
            // Older files lack the large-value real-time flag; opening Payment adds it.
            if (t.name == tbl::Payment && c.name == col::Urgent)
                continue;
            if (!hasColumn(found, c.name))
                throw DbError(QStringLiteral("数据表“%1”中缺少列“%2”。").arg(t.name, c.name));
        }
    }
    if (present == 0 && !existing.isEmpty()) {
        throw DbError(QStringLiteral("该文件不是本程序的数据库（其中没有 %1 等数据表）。")
                          .arg(databaseTables().first().name));
    }
}

void Connection::prepareSchema()
{
    const QStringList existing = tableNames();
    QStringList missing;
    for (const TableDef& t : databaseTables()) {
        bool found = false;
        for (const QString& name : existing) {
            if (name.compare(t.name, Qt::CaseInsensitive) == 0)
                found = true;
        }
        if (!found)
            missing << t.name;
    }
    // Write-ahead logging lets the command-line tool read while the desktop program
    // writes. A file that cannot switch (another program holds it) keeps its mode.
    {
        QSqlQuery wal(database());
        wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    if (missing.isEmpty())
        return;

    Transaction transaction(*this);
    for (const TableDef& t : databaseTables()) {
        if (!missing.contains(t.name))
            continue;
        exec(t.createSql());
        if (t.name == tbl::User) {
            Statement ins(
                *this,
                QStringLiteral("INSERT INTO \"User\" (\"用户编号\", \"密码\") VALUES (:id, :pwd)"));
            ins.bind(0, QStringLiteral("1"));
            ins.bind(1, hashPassword(QString()));
            ins.exec();
        }
    }
    transaction.commit();
    m_createdSchema = true;
}

void Connection::close()
{
    if (m_registered) {
        FileGuard::unregisterDatabase(m_path);
        m_registered = false;
    }
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && database().isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* Connection::handle() const
{
    const QVariant v = database().driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(v.constData());
    return nullptr;
}

void Connection::exec(const QString& sql)
{
    QSqlQuery q(database());
    if (!q.exec(sql))
        throw sqlError(q.lastError());
}

void Connection::beginTransaction()
{
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void Connection::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void Connection::rollback() noexcept
{
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
}

Transaction::Transaction(Connection& conn) : m_conn(conn)
{
    m_conn.beginTransaction();
    m_open = true;
}

Transaction::~Transaction()
{
    if (m_open)
        m_conn.rollback();
}

void Transaction::commit()
{
    m_open = false;
    try {
        m_conn.commit();
    } catch (const DbError&) {
        m_conn.rollback();
        throw;
    }
}

QStringList Connection::tableNames() const
{
    QStringList names;
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        throw sqlError(q.lastError());
    while (q.next())
        names << q.value(0).toString();
    return names;
}

bool Connection::hasColumn(const QString& table, const QString& column) const
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT count(*) FROM pragma_table_info(:t) WHERE name = :c"));
    q.addBindValue(table);
    q.addBindValue(column);
    if (!q.exec() || !q.next())
        throw sqlError(q.lastError());
    return q.value(0).toInt() > 0;
}

Statement::Statement(Connection& conn, const QString& sql) : m_query(conn.database()), m_sql(sql)
{
    m_query.setForwardOnly(true);
    m_prepared = m_query.prepare(sql);
}

void Statement::bind(int position, const QVariant& value)
{
    m_query.bindValue(position, bindable(value));
}

void Statement::exec()
{
    if (!m_prepared)
        throw sqlError(m_query.lastError());
    if (!m_query.exec())
        throw sqlError(m_query.lastError());
}

int Statement::rowsAffected() const
{
    return m_query.numRowsAffected();
}

BulkStatement::BulkStatement(Connection& conn, const QString& sql) : m_db(conn.handle())
{
    if (!m_db)
        throw DbError(QStringLiteral("数据库没有打开。"));
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw sqliteError(rc, msg);
    }
    const auto count = size_t(sqlite3_bind_parameter_count(m_stmt));
    m_buffers.resize(count);
    m_types.assign(count, SQLITE_NULL);
    m_ints.assign(count, 0);
}

BulkStatement::~BulkStatement()
{
    sqlite3_finalize(m_stmt);
}

void BulkStatement::bindText(int position, QStringView text)
{
    // UTF-16 to UTF-8 into a buffer kept per parameter.
    m_types.at(size_t(position)) = SQLITE_TEXT;
    std::string& out = m_buffers.at(size_t(position));
    out.resize(size_t(text.size()) * 3);
    char* o = out.data();
    const char16_t* p = text.utf16();
    const char16_t* end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        if (c < 0x800) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = char(0xE0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        } else {
            *o++ = char(0xF0 | (c >> 18));
            *o++ = char(0x80 | ((c >> 12) & 0x3F));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        }
    }
    out.resize(size_t(o - out.data()));
    // A NUL-terminated text (length -1) spares SQLite a copy whenever a CHECK reads it.
    // The texts an import binds never hold a NUL: reading stops at the first one.
    if (out.find('\0') == std::string::npos)
        sqlite3_bind_text(m_stmt, position + 1, out.c_str(), -1, SQLITE_STATIC);
    else
        sqlite3_bind_text(m_stmt, position + 1, out.data(), int(out.size()), SQLITE_STATIC);
}

void BulkStatement::bindInt64(int position, qint64 value)
{
    m_types.at(size_t(position)) = SQLITE_INTEGER;
    m_ints[size_t(position)] = value;
    sqlite3_bind_int64(m_stmt, position + 1, value);
}

void BulkStatement::bindNull(int position)
{
    m_types.at(size_t(position)) = SQLITE_NULL;
    sqlite3_bind_null(m_stmt, position + 1);
}

qint64 BulkStatement::lastInsertKey() const
{
    return sqlite3_last_insert_rowid(m_db);
}

void BulkStatement::exec()
{
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw sqliteError(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
}

int Command::execute(const QVariantList& params)
{
    Statement st(m_conn, m_sql);
    for (int i = 0; i < params.size(); ++i)
        st.bind(i, params.at(i));
    st.exec();
    return st.rowsAffected();
}

} // namespace bankprep
