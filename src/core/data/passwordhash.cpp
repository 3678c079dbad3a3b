#include "core/data/passwordhash.h"

#include <QByteArray>
#include <sodium.h>
#include <stdexcept>

namespace bankprep {

namespace {

bool g_minimalCost = false;

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium could not be initialised");
}

QByteArray folded(const QString& password)
{
    return password.toCaseFolded().toUtf8();
}

} // namespace

void setMinimalPasswordHashCost(bool minimal)
{
    g_minimalCost = minimal;
}

QString hashPassword(const QString& password)
{
    ensureSodium();
    const QByteArray pw = folded(password);
    char out[crypto_pwhash_STRBYTES];
    const unsigned long long ops =
        g_minimalCost ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const size_t mem =
        g_minimalCost ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()), ops,
                          mem) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return QString::fromLatin1(out);
}

bool isPasswordHash(const QString& stored)
{
    return stored.startsWith(QLatin1String("$argon2"));
}

bool passwordMatches(const QString& stored, const QString& typed)
{
    if (!isPasswordHash(stored))
        return stored.compare(typed, Qt::CaseInsensitive) == 0;
    ensureSodium();
    const QByteArray hash = stored.toLatin1();
    const QByteArray pw = folded(typed);
    return crypto_pwhash_str_verify(hash.constData(), pw.constData(),
                                    static_cast<unsigned long long>(pw.size())) == 0;
}

} // namespace bankprep
