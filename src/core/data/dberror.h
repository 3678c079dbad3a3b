#pragma once

#include <QString>
#include <new>
#include <stdexcept>

namespace bankprep {

// The error kind of everything the data layer refuses: the database's own errors
// (translated into Chinese) and the record rules' refusals. Raising one from a
// before-post handler stops the store and leaves the row in editing.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString& message, int code = 0)
        : std::runtime_error(message.toStdString()), m_message(message), m_code(code)
    {
    }
    const QString& message() const { return m_message; }
    int code() const { return m_code; }

private:
    QString m_message;
    int m_code;
};

// A silent abort: stops the current operation without any message
// (a cancelled question, a store abandoned after its own notice).
class AbortError : public std::exception
{
public:
    const char* what() const noexcept override { return "aborted"; }
};

// The Chinese text of an error that ends a command: a DbError's message, and for the
// few standard errors that can arrive (memory running out on a hostile file) a
// sentence a clerk can act on.
inline QString describeError(const std::exception& e)
{
    if (const auto* db = dynamic_cast<const DbError*>(&e))
        return db->message();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("内存不足，操作未能完成（文件可能太大或已损坏）。");
    return QStringLiteral("操作未能完成：%1").arg(QString::fromLocal8Bit(e.what()));
}

} // namespace bankprep
