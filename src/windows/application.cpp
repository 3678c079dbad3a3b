#include "windows/application.h"

#include "controls/messagebox.h"
#include "core/data/backup.h"
#include "core/data/instancelock.h"
#include "core/data/names.h"
#include "windows/about.h"
#include "windows/chgpwd.h"
#include "windows/exportcommand.h"
#include "windows/exportdialogs.h"
#include "windows/guiinteraction.h"
#include "windows/importwindows.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/printcommand.h"
#include "windows/safetywindows.h"
#include "windows/salaryimportdlg.h"
#include "windows/selcompany.h"
#include "windows/selcompanytype.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <QDir>

#include <csignal>
#include <optional>

namespace bankprep {

BankprepApplication::BankprepApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(applicationTitle());
    // The menu entry's name: task bars and Wayland give the windows its icon.
    setDesktopFileName(QStringLiteral(BANKPREP_APP_ID));
    installFontSubstitutes();
    // Qt's own texts (standard buttons, the file dialog, the edit menu) in Chinese.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qtTexts);
}

bool BankprepApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportError(activeWindow(), std::current_exception());
        return false;
    }
}

int runDesktopProgram(QApplication& app, const QString& databasePath,
                      const std::function<void(Instances&)>& started)
{
    // A file-size limit makes an export fail with a message instead of killing the
    // program half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    // Declared first, released last: its descriptor on the database file may only be
    // closed once SQLite has closed the file (closing it drops SQLite's locks).
    InstanceLock lock(databasePath);
    try {
        lock.lock();
    } catch (const DbError& e) {
        MessageBox::error(nullptr, e.message());
        return 1;
    }
    auto instances = std::make_unique<Instances>();
    try {
        instances->create(databasePath);
    } catch (const DbError& e) {
        instances.reset();
        if (!offerBackupOfDamaged(databasePath, e, lock))
            return 1;
        instances = std::make_unique<Instances>();
        try {
            instances->create(databasePath);
        } catch (const DbError& again) {
            MessageBox::error(nullptr, again.message());
            return 1;
        }
    }
    instances->startUp();
    if (started)
        started(*instances);
    return app.exec();
}

bool offerBackupOfDamaged(const QString& databasePath, const DbError& e, InstanceLock& lock)
{
    std::optional<BackupInfo> backup;
    if (isDamagedDatabaseError(e))
        backup = newestSoundBackup(databasePath);
    if (!backup) {
        MessageBox::error(nullptr, e.message());
        return false;
    }
    const QString question =
        QStringLiteral("%1\n\n找到%2的备份（%3，支付指令%4条、往来帐户%5条、工资%6条），"
                       "它通过了完整性检查。是否用它恢复数据库？\n\n损坏的文件不会被删除，"
                       "将改名保留在原处。")
            .arg(e.message(), shownTime(backup->time), backup->reasonText())
            .arg(backup->payments)
            .arg(backup->payees)
            .arg(backup->salary);
    if (MessageBox::question(nullptr, QStringLiteral("数据库已损坏"), question,
                             QMessageBox::Yes | QMessageBox::No,
                             QMessageBox::Yes) != QMessageBox::Yes)
        return false;
    try {
        const QString aside = replaceDamagedDatabase(databasePath, *backup);
        // The lock was on the damaged file, now under its new name: the restored file
        // is locked afresh.
        lock.unlock();
        lock.lock();
        MessageBox::information(nullptr, QStringLiteral("数据库已恢复"),
                                QStringLiteral("已用%1的备份恢复数据库。损坏的文件保留为“%2”。")
                                    .arg(shownTime(backup->time), QDir::toNativeSeparators(aside)));
    } catch (const DbError& failed) {
        MessageBox::error(nullptr, failed.message());
        return false;
    }
    return true;
}

void Instances::startUp()
{
    AppForm->show();
    // The day's backup; the program goes on without it, the clerk knowing.
    try {
        DataModule2.dailyBackup();
    } catch (const DbError& e) {
        MessageBox::warning(AppForm.get(), QStringLiteral("备份"),
                            QStringLiteral("今天的自动备份未能完成：%1").arg(e.message()));
    }
}

Instances::Instances() = default;

Instances::~Instances()
{
    // Windows first: they are bound to the data module's tables.
    DataModule2.setInteraction(nullptr);
    DataModule2.setPaymentButtons(nullptr);
    AppForm.reset();
}

void Instances::create(const QString& databasePath)
{
    AppForm = std::make_unique<TAppForm>(DataModule2);
    AboutBox = new TAboutBox(AppForm.get());
    PaymentAdditionDlg = new TPaymentAdditionDlg(DataModule2, AppForm.get());
    AppForm->setAboutBox(AboutBox);
    AppForm->setPaymentAdditionDlg(PaymentAdditionDlg);
    DataModule2.create(databasePath);
    // The payee book's columns are put in order while the clerk works, so that a title
    // click on 200,000 payees finds its order ready: the payee's name first, the column
    // a clerk sorts by most and the slowest to sort.
    DataModule2.ATCompany->setPresortedFields({col::PayeeName, col::PayeeAccount, col::PayeeBank,
                                               col::PayeePlace, col::Classification, col::Remark,
                                               col::CustomNo, col::OwnBank});
    PasswordDlg = new TPasswordDlg(DataModule2, AppForm.get());
    ImportDlg = new TImportDlg(DataModule2, AppForm.get());
    AppForm->setImportDlg(ImportDlg);
    SelectPaymentDlg = new TSelectPaymentDlg(DataModule2, AppForm.get());
    SplitSalaryDlg = new TSplitSalaryDlg(AppForm.get());
    ChgPwdDlg = new TChgPwdDlg(DataModule2, AppForm.get());
    exportCommand = new ExportCommand(DataModule2, AppForm.get(), SelectPaymentDlg, SplitSalaryDlg);
    AppForm->setExportCommand(exportCommand);
    printCommand = new PrintCommand(DataModule2, AppForm.get(), SelectPaymentDlg);
    AppForm->setPrintCommand(printCommand);
    AppForm->setPasswordDlg(PasswordDlg);
    AppForm->setChgPwdDlg(ChgPwdDlg);
    SelCompanyType = new TSelCompanyType(DataModule2, AppForm.get());
    FrmImportCompany = new TFrmImportCompany(DataModule2, AppForm.get());
    FrmSelCompany = new TFrmSelCompany(DataModule2, AppForm.get());
    PaymentAdditionDlg->setPayeePicker(FrmSelCompany);
    AppForm->setClassificationPicker(SelCompanyType);
    imptransfer = new Timptransfer(DataModule2, AppForm.get());
    AppForm->setImportWindows(imptransfer, FrmImportCompany);
    interaction = std::make_unique<GuiInteraction>(AppForm.get(), SelCompanyType);
    DataModule2.setInteraction(interaction.get());
    DataModule2.setPaymentButtons(PaymentAdditionDlg);
    RestoreBackupDlg = new TRestoreBackupDlg(DataModule2, AppForm.get());
    ExportLogDlg = new TExportLogDlg(DataModule2, AppForm.get());
    UndoImportDlg = new TUndoImportDlg(DataModule2, AppForm.get());
    AppForm->setSafetyWindows(RestoreBackupDlg, ExportLogDlg, UndoImportDlg);
}

} // namespace bankprep
