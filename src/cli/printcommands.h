#pragma once

// The commands that print a list for signature as a PDF document.

#include <QString>
#include <QStringList>

namespace bankprep::cli {

// Whether the command line asks for a printed list (which needs a graphical
// application for its fonts).
bool printsReport(int argc, char** argv);

int printPaymentsCommand(const QString& db, const QStringList& args);
int printSalaryCommand(const QString& db, const QStringList& args);

} // namespace bankprep::cli
