#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace bankprep {

// Every file dialog of the program. Qt's own (never a platform dialog running inside
// this process), with an icon provider that tells icons and types by the name alone:
// the default one opens each listed file to guess its type, and opening and closing
// data.db, data.db-wal or data.db-shm in this process would drop SQLite's locks.
// They open in the folder given here, or else in the working directory.
QFileDialog* createFileDialog(QWidget* parent, const QString& objectName);

// Set before the windows are made when the program works in a data folder of its own:
// the clerk's files are where he started it, not beside the database.
void setFileDialogFolder(const QString& folder);

} // namespace bankprep
