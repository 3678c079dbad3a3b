#pragma once

#include <QString>
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

} // namespace bankprep
