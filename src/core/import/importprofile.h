#pragma once

#include "core/import/importbatch.h"
#include "core/import/textimport.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace bankprep {

class Connection;

// The settings of an import saved under a name in the database (the table ImportProfile,
// made on first use), one list of names per kind of import. The name of the profile used
// last is kept too, for the next run to start from it. Profiles are settings, not data: a
// restored backup keeps the current ones.
QStringList profileNames(Connection& conn, ImportKind kind); // in the order saved
std::optional<QJsonObject> loadProfile(Connection& conn, ImportKind kind, const QString& name);
// Replaces a profile of that name. A name may not be empty (DbError).
void saveProfile(Connection& conn, ImportKind kind, const QString& name,
                 const QJsonObject& settings);
void deleteProfile(Connection& conn, ImportKind kind, const QString& name);
// The profile used last; empty for none. Setting an empty name forgets it.
QString lastProfile(Connection& conn, ImportKind kind);
void setLastProfile(Connection& conn, ImportKind kind, const QString& name);
// A profile given by name that does not exist: "没有名为“X”的导入方案。".
DbError noSuchProfile(const QString& name);

// The command-line names of a text import's columns ("skzh", "account"), which profiles
// use too.
std::optional<ImportField> columnFromKey(ImportKind kind, QStringView key);
QStringList columnKeys(ImportKind kind);

// A text import's settings as a profile holds them: everything of the form but the file.
QJsonObject textProfile(const ImportForm& form, ImportKind kind);
// The form with what a profile holds put in (the file stays).
void applyTextProfile(const QJsonObject& profile, ImportKind kind, ImportForm& form);

// The payroll import's mapping as a profile holds it: the title of each field's column,
// so that next month's sheet is mapped by its titles wherever its columns stand.
struct SalaryTitles
{
    QString number;
    QString name;
    QString card;
    QString amount;
};
QJsonObject salaryProfile(const SalaryTitles& titles);
SalaryTitles salaryTitlesFrom(const QJsonObject& profile);
// The 1-based column of `title` among a sheet's titles; 0 when it has none.
int columnOfTitle(const QStringList& titles, const QString& title);
// The mapping of the last payroll import, kept without a name.
std::optional<SalaryTitles> lastSalaryMapping(Connection& conn);
void rememberSalaryMapping(Connection& conn, const SalaryTitles& titles);

} // namespace bankprep
