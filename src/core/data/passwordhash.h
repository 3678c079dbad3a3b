#pragma once

#include <QString>

namespace bankprep {

// Passwords are kept as salted slow hashes (libsodium's crypto_pwhash_str) of the
// password with its letters folded to one case, so that the login stays
// case-insensitive without the password itself being stored.
QString hashPassword(const QString& password);

// True when `stored` is a hash this program wrote.
bool isPasswordHash(const QString& stored);

// Compares a typed password with a stored value: a hash, or a plain text left by
// hand in an older database (compared ignoring letter case).
bool passwordMatches(const QString& stored, const QString& typed);

// Tests create many databases: they may ask for the cheapest hash settings.
void setMinimalPasswordHashCost(bool minimal);

} // namespace bankprep
