// The real desktop program (the same start-up as bankprep's main) with a clerk at the
// keyboard, for tst_sidebyside: it logs in through the login window, opens the file
// dialogs the program keeps (they list the working folder, where data.db lives) and
// types payment instructions into the payment grid with real key events.
//
// Standard input takes commands, one per line: "rows N" types and stores N more
// instructions and answers "stored"; "quit" closes the main window. After start-up and
// the first 3 instructions it prints "ready".
#include "controls/dbgrid.h"
#include "controls/messagebox.h"
#include "windows/application.h"
#include "windows/exportcommand.h"
#include "windows/importwindows.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"

#include <QFileDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

using namespace bankprep;

namespace {

int g_typed = 0;

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void typeInto(const QString& text)
{
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// One instruction, as a clerk types it: ↓ on the last row starts it, then the account
// and the amount; ↓ stores it (and starts the next one).
void typeRows(Instances& in, int count)
{
    DBGrid* grid = in.AppForm->DBGridPayment;
    Table& pay = *in.DataModule2.ATPayment;
    for (int i = 0; i < count; ++i) {
        grid->setFocus();
        if (pay.state() != Table::State::Insert) {
            pay.last();
            QTest::keyClick(grid, Qt::Key_Down);
        }
        const int row = pay.currentRow();
        const TableModel* model = grid->tableModel();
        grid->setCurrentIndex(model->index(row, model->columnOfField(u"收款帐号")));
        ++g_typed;
        typeInto(QStringLiteral("D%1").arg(g_typed, 5, 10, QLatin1Char('0')));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        grid->setCurrentIndex(model->index(row, model->columnOfField(u"金额")));
        typeInto(QStringLiteral("%1.5").arg(g_typed));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    BankprepApplication app(argc, argv);
    // The rules' questions (add the new account to the payee book?) get their default.
    MessageBox::enableTestMode();
    Modal::setNextHandler([](QDialog* d) {
        auto* login = static_cast<TPasswordDlg*>(d);
        login->OKBtnClick(); // the empty password of a new database
        return login->result();
    });
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    return runDesktopProgram(app, QStringLiteral("data.db"), [&](Instances& in) {
        QApplication::setActiveWindow(in.AppForm.get());
        // The dialogs the program keeps, shown for a while: their folder listings
        // include data.db, data.db-wal and data.db-shm.
        QTimer::singleShot(100, &app, [&in] {
            in.exportCommand->SaveDialog->show();
            in.imptransfer->OpenDialogBrowse->show();
            in.FrmImportCompany->OpenDialogBrowse->show();
        });
        QTimer::singleShot(2500, &app, [&in] {
            QApplication::setActiveWindow(in.AppForm.get());
            typeRows(in, 3);
            say("ready");
        });
        QObject::connect(input, &QSocketNotifier::activated, &app, [&in, input] {
            char line[64] = {};
            const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
            if (n <= 0) {
                input->setEnabled(false);
                return;
            }
            int count = 0;
            if (std::sscanf(line, "rows %d", &count) == 1) {
                QApplication::setActiveWindow(in.AppForm.get());
                typeRows(in, count);
                say("stored");
            } else if (qstrncmp(line, "quit", 4) == 0) {
                in.AppForm->close();
            }
        });
    });
}
