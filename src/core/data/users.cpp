#include "core/data/users.h"

#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "core/data/passwordhash.h"

namespace bankprep {

bool checkUserPassword(TDataModule2& dm, const QString& userId, const QString& typed)
{
    Table& users = *dm.ATUser;
    users.checkBrowseMode();
    const int idField = users.fieldIndex(col::UserId);
    const int pwdField = users.fieldIndex(col::Password);
    for (int row = 0; row < users.rowCount(); ++row) {
        if (users.textAt(row, idField).compare(userId, Qt::CaseInsensitive) != 0)
            continue;
        const QString stored = users.textAt(row, pwdField);
        if (!passwordMatches(stored, typed))
            continue;
        users.moveTo(row);
        if (!isPasswordHash(stored))
            storeUserPassword(dm, typed);
        return true;
    }
    return false;
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
