#pragma once

#include "core/data/datamodule.h"

#include <QApplication>
#include <functional>
#include <memory>

namespace bankprep {

class TAboutBox;
class TAppForm;
class TChgPwdDlg;
class TPasswordDlg;
class TPaymentAdditionDlg;
class TSelCompanyType;
class GuiInteraction;
class TSelectPaymentDlg;
class TSplitSalaryDlg;
class ExportCommand;
class PrintCommand;
class TFrmImportCompany;
class Timptransfer;
class TImportDlg;
class TFrmSelCompany;
class TRestoreBackupDlg;
class TExportLogDlg;
class TUndoImportDlg;
class Instances;
class InstanceLock;

// Reports an exception that escaped an event handler in the default error display
// instead of letting it end the program.
class BankprepApplication : public QApplication
{
public:
    BankprepApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The desktop program's run: the second-copy lock, every window and the data module
// over `databasePath`, the main window shown, the message loop. `started` (for the test
// that runs the program beside the command-line tool) is called just before the loop.
// Returns the exit status.
int runDesktopProgram(QApplication& app, const QString& databasePath,
                      const std::function<void(Instances&)>& started = {});

// After the database could not be opened: when it is damaged and a sound backup exists,
// asks whether to put the newest such backup in its place (the damaged file is kept
// under another name) and does so. False when the program cannot go on (the error was
// shown).
bool offerBackupOfDamaged(const QString& databasePath, const DbError& e, InstanceLock& lock);

// Every window and the data module, created once in the start-up order and reused.
class Instances
{
public:
    Instances();
    ~Instances();

    // Creates the windows and the data module in order: main window, about window,
    // detail window, data module (connects, opens the tables), login window, payer
    // account, split and password windows, classification picker. Throws DbError when the database
    // cannot be used.
    void create(const QString& databasePath);
    // Shows the main window and takes the day's first backup (a failure is reported).
    void startUp();

    TDataModule2 DataModule2;
    std::unique_ptr<TAppForm> AppForm;
    TAboutBox* AboutBox = nullptr;
    TPaymentAdditionDlg* PaymentAdditionDlg = nullptr;
    TPasswordDlg* PasswordDlg = nullptr;
    TImportDlg* ImportDlg = nullptr;
    TSelectPaymentDlg* SelectPaymentDlg = nullptr;
    TSplitSalaryDlg* SplitSalaryDlg = nullptr;
    TChgPwdDlg* ChgPwdDlg = nullptr;
    ExportCommand* exportCommand = nullptr;
    PrintCommand* printCommand = nullptr;
    TSelCompanyType* SelCompanyType = nullptr;
    TFrmImportCompany* FrmImportCompany = nullptr;
    TFrmSelCompany* FrmSelCompany = nullptr;
    Timptransfer* imptransfer = nullptr;
    TRestoreBackupDlg* RestoreBackupDlg = nullptr;
    TExportLogDlg* ExportLogDlg = nullptr;
    TUndoImportDlg* UndoImportDlg = nullptr;
    std::unique_ptr<GuiInteraction> interaction;
};

} // namespace bankprep
