#pragma once

#include "core/data/dberror.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace bankprep {

// Chinese text for an error reported by SQLite (primary result code and message).
QString describeSqliteError(int code, const QString& text);
DbError sqliteError(int code, const QString& text);
DbError sqlError(const class QSqlError& error);
// True for the refusal of a database file that is damaged or not a database at all.
bool isDamagedDatabaseError(const DbError& error);

// The one connection to the database file. Opening creates the file with the
// schema when it does not exist yet and refuses, with a clear message, a file that
// is not a usable database; it never replaces or re-creates an existing file.
class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Throws DbError with a Chinese message naming the file and the reason. With
    // `createIfMissing` false a missing file is refused instead of created.
    void open(const QString& path, bool createIfMissing = true);
    void close();
    bool isOpen() const;
    const QString& path() const { return m_path; }
    bool createdSchema() const { return m_createdSchema; }

    QSqlDatabase database() const;
    sqlite3* handle() const;

    // Runs one statement without parameters; throws DbError.
    void exec(const QString& sql);
    // Transactions; throw DbError.
    void beginTransaction();
    void commit();
    void rollback() noexcept;

    bool hasColumn(const QString& table, const QString& column) const;
    QStringList tableNames() const;

private:
    void validateSchema(); // reads only
    void prepareSchema();
    DbError openFailure(const QString& reason, int code = 0) const;

    QString m_connectionName;
    QString m_path;
    bool m_createdSchema = false;
    bool m_registered = false;
};

// A short-lived statement on the shared connection. Named parameters (":skzh") are
// filled by position; a Money value is bound as its exact integer of ten-thousandths.
class Statement
{
public:
    Statement(Connection& conn, const QString& sql);
    void bind(int position, const QVariant& value);
    void addBind(const QVariant& value) { bind(m_nextBind++, value); }
    // Throws DbError.
    void exec();
    int rowsAffected() const;
    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    QVariant lastInsertId() const { return m_query.lastInsertId(); }

private:
    QSqlQuery m_query;
    QString m_sql;
    bool m_prepared = false;
    int m_nextBind = 0;
};

// One transaction on a connection, begun when made (BEGIN IMMEDIATE; throws DbError).
// commit() ends it; a failed COMMIT is rolled back and rethrown, so nothing of it stays.
// Left without commit() (an exception, an early return) it is rolled back. Imports
// commit at the end and also when interrupted: what was stored until then stays.
class Transaction
{
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit(); // throws DbError after rolling back
    bool isOpen() const { return m_open; }

private:
    Connection& m_conn;
    bool m_open = false;
};

// A statement run many times in a bulk pass (an import): prepared once on the SQLite
// handle, texts bound as UTF-8 without temporary objects. Parameters by position from 0.
class BulkStatement
{
public:
    BulkStatement(Connection& conn, const QString& sql); // throws DbError
    ~BulkStatement();
    BulkStatement(const BulkStatement&) = delete;
    BulkStatement& operator=(const BulkStatement&) = delete;

    void bindText(int position, QStringView text);
    void bindInt64(int position, qint64 value);
    void bindNull(int position);
    void exec(); // throws DbError; the statement is ready for the next row afterwards
    qint64 lastInsertKey() const; // the key of the row the last exec() stored

    // What a parameter was last bound to: its SQLite type, and the UTF-8 bytes of a text
    // or the value of an integer.
    int boundType(int position) const { return m_types.at(size_t(position)); }
    const std::string& boundText(int position) const { return m_buffers.at(size_t(position)); }
    qint64 boundInt64(int position) const { return m_ints.at(size_t(position)); }

private:
    sqlite3_stmt* m_stmt = nullptr;
    sqlite3* m_db = nullptr;
    std::vector<std::string> m_buffers;
    std::vector<int> m_types;
    std::vector<qint64> m_ints;
};

// The general command object: runs one SQL text, with optional positional parameters.
class Command
{
public:
    explicit Command(Connection& conn) : m_conn(conn) {}
    void setCommandText(const QString& sql) { m_sql = sql; }
    const QString& commandText() const { return m_sql; }
    // Throws DbError; returns the number of rows affected.
    int execute(const QVariantList& params = {});

private:
    Connection& m_conn;
    QString m_sql;
};

} // namespace bankprep
