#pragma once

#include <QString>
#include <QStringList>

namespace bankprep {

// Where the desktop program keeps data.db and its backups: the working directory, as
// always, unless it was started in a data folder of the clerk's own (the menu entry
// does that, so that the database does not land in the home folder).
struct DataFolderChoice
{
    QString folder; // empty: stay in the working directory
};

// Reads the program's own options (after Qt took its own): "--data-dir FOLDER" (or
// "--data-dir=FOLDER") and "--user-data" ($XDG_DATA_HOME/bankprep, by default
// ~/.local/share/bankprep). Throws DbError with the usage for anything else.
DataFolderChoice chooseDataFolder(const QStringList& arguments);

// $XDG_DATA_HOME/bankprep, or ~/.local/share/bankprep when it is not set (or not an
// absolute path, which the XDG rules say to ignore).
QString userDataFolder();

// Creates the folder when missing (readable by its owner only) and makes it the working
// directory. Throws DbError naming the folder and the cause.
void enterDataFolder(const QString& folder);

// The desktop program's usage, for --help and a wrong command line.
QString desktopUsage();

} // namespace bankprep
