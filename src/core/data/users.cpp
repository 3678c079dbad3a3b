#include "core/data/users.h"

#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "core/data/passwordhash.h"

namespace bankprep {

bool checkUserPassword(TDataModule2& dm, const QString& userId, const QString& typed)
{
    return PasswordCheck(dm, userId, typed).finish();
}

PasswordCheck::PasswordCheck(TDataModule2& dm, const QString& userId, const QString& typed)
    : m_dm(dm), m_typed(typed)
{
    Table& users = *dm.ATUser;
    users.checkBrowseMode();
    const int idField = users.fieldIndex(col::UserId);
    const int pwdField = users.fieldIndex(col::Password);
    QStringList stored;
    for (int row = 0; row < users.rowCount(); ++row) {
        if (users.textAt(row, idField).compare(userId, Qt::CaseInsensitive) != 0)
            continue;
        m_rows.push_back(row);
        stored << users.textAt(row, pwdField);
    }
    m_match = std::async(std::launch::async, [stored, typed] {
        for (qsizetype i = 0; i < stored.size(); ++i) {
            if (passwordMatches(stored.at(i), typed))
                return int(i);
        }
        return -1;
    });
}

PasswordCheck::~PasswordCheck()
{
    if (m_match.valid())
        m_match.wait(); // the hash's thread ends before what it reads goes
}

bool PasswordCheck::finish()
{
    const int match = m_match.get();
    if (match < 0)
        return false;
    Table& users = *m_dm.ATUser;
    const int row = m_rows[size_t(match)];
    users.moveTo(row);
    if (!isPasswordHash(users.textAt(row, users.fieldIndex(col::Password))))
        storeUserPassword(m_dm, m_typed);
    return true;
}

void applyLogin(TDataModule2& dm, const QString& userId)
{
    dm.CurrentUser = userId;
    const QString filter = QStringLiteral("用户编号 = ") + userId;
    for (Table* t : {dm.ATPayment.get(), dm.ATSalary.get(), dm.ATDrawee.get(), dm.ATCompany.get()})
        t->setFiltered(false);
    for (Table* t : {dm.ATPayment.get(), dm.ATSalary.get(), dm.ATDrawee.get()})
        t->setFilterText(filter);
    for (Table* t : {dm.ATPayment.get(), dm.ATSalary.get(), dm.ATDrawee.get()})
        t->setFiltered(true);
}

void storeUserPassword(TDataModule2& dm, const QString& newPassword)
{
    Table& users = *dm.ATUser;
    users.edit();
    try {
        users.setValue(col::Password, hashPassword(newPassword));
        users.post();
    } catch (...) {
        users.cancel();
        throw;
    }
}

} // namespace bankprep
