// The desktop program: one main window over the database data.db in the working
// directory.
#include "app/application.h"
#include "app/mainwindow.h"
#include "app/messagebox.h"
#include "data/instancelock.h"

#include <csignal>

using namespace bankprep;

int main(int argc, char* argv[])
{
    BankprepApplication app(argc, argv);
    // A file-size limit makes an export fail with a message instead of killing the
    // program half-way.
    std::signal(SIGXFSZ, SIG_IGN);

    const QString databasePath = QStringLiteral("data.db");
    InstanceLock lock(databasePath);
    if (!lock.tryLock()) {
        MessageBox::error(nullptr, lock.errorMessage());
        return 1;
    }
    Instances instances;
    try {
        instances.create(databasePath);
    } catch (const DbError& e) {
        MessageBox::error(nullptr, e.message());
        return 1;
    }
    instances.AppForm->show();
    return app.exec();
}
