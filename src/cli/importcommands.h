#pragma once

// The import commands of bankprep-cli and the journal of imports: each takes the
// database file and the command's arguments, and returns the exit status.

#include <QString>
#include <QStringList>

namespace bankprep::cli {

int importTextCommand(const QString& db, QStringList args, bool payments);
int importSalaryCommand(const QString& db, QStringList args);
int importLogCommand(const QString& db, const QStringList& args);
int undoImportCommand(const QString& db, const QStringList& args);

} // namespace bankprep::cli
