// The desktop program: one main window over the database data.db in the working
// directory, or in the data folder its options name (the menu entry's --user-data).
#include "controls/filedialog.h"
#include "controls/messagebox.h"
#include "core/data/datafolder.h"
#include "core/data/dberror.h"
#include "windows/application.h"

#include <QDir>
#include <QTextStream>

using namespace bankprep;

int main(int argc, char* argv[])
{
    // The usage is answered before the window system is asked for, so that it works in
    // a terminal without a display.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            QTextStream(stdout) << desktopUsage();
            return 0;
        }
    }
    BankprepApplication app(argc, argv);
    DataFolderChoice choice;
    try {
        choice = chooseDataFolder(app.arguments().mid(1));
    } catch (const DbError& e) {
        QTextStream(stderr) << e.message();
        return 2;
    }
    if (!choice.folder.isEmpty()) {
        // Started from the menu the working directory is the home folder or "/".
        const QString started = QDir::currentPath();
        setFileDialogFolder(started == QDir::rootPath() ? QDir::homePath() : started);
        try {
            enterDataFolder(choice.folder);
        } catch (const DbError& e) {
            MessageBox::error(nullptr, e.message());
            return 1;
        }
    }
    return runDesktopProgram(app, QStringLiteral("data.db"));
}
