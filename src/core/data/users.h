#pragma once

#include <QString>
#include <future>
#include <vector>

namespace bankprep {

class TDataModule2;

// Finds the user row of `userId` (letter case ignored) whose password matches `typed`
// (letter case ignored) and makes it the current row of the User table. A password
// still kept as plain text is stored hashed once it has matched. Throws DbError when
// that store fails.
bool checkUserPassword(TDataModule2& dm, const QString& userId, const QString& typed);

// The same check in two steps, for a job that has other work while the deliberately
// slow password hash is computed: start() reads the user rows and starts the hash on a
// thread of its own (touching nothing else); finish() waits for it and does the rest of
// checkUserPassword(). Between the two, the User table must not change.
class PasswordCheck
{
public:
    PasswordCheck(TDataModule2& dm, const QString& userId, const QString& typed);
    ~PasswordCheck();
    bool finish();

private:
    TDataModule2& m_dm;
    QString m_typed;
    std::vector<int> m_rows;  // the rows of the user
    std::future<int> m_match; // which of them matched, or -1
};

// What a successful login does to the data: `userId` becomes the current user; the
// payment, payroll and payer-account tables show only that user's rows; the payee book
// shows every account. Throws DbError when a row being typed cannot be stored first.
void applyLogin(TDataModule2& dm, const QString& userId);

// Sets the password of the current User row (stored hashed). Throws DbError.
void storeUserPassword(TDataModule2& dm, const QString& newPassword);

} // namespace bankprep
