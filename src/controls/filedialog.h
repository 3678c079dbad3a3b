#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace bankprep {

// Every file dialog of the program. Qt's own (never a platform dialog running inside
// this process), with an icon provider that tells icons and types by the name alone:
// the default one opens each listed file to guess its type, and opening and closing
// data.db, data.db-wal or data.db-shm in this process would drop SQLite's locks.
QFileDialog* createFileDialog(QWidget* parent, const QString& objectName);

} // namespace bankprep
