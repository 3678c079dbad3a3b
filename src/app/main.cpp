// The desktop program. Until the main window arrives it prepares the database in the
// working directory and reports any problem with it.
#include "app/messages.h"
#include "data/datamodule.h"
#include "data/instancelock.h"

#include <QApplication>

using namespace bankprep;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationDisplayName(applicationTitle());

    const QString databasePath = QStringLiteral("data.db");
    InstanceLock lock(databasePath);
    if (!lock.tryLock()) {
        showErrorMessage(nullptr, lock.errorMessage());
        return 1;
    }
    TDataModule2 dataModule;
    try {
        dataModule.create(databasePath);
    } catch (const DbError& e) {
        showErrorMessage(nullptr, e.message());
        return 1;
    }
    return 0;
}
