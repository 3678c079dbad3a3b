// The desktop program: one main window over the database data.db in the working
// directory.
#include "windows/application.h"

using namespace bankprep;

int main(int argc, char* argv[])
{
    BankprepApplication app(argc, argv);
    return runDesktopProgram(app, QStringLiteral("data.db"));
}
