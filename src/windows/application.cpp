#include "windows/application.h"

#include "controls/messagebox.h"
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
#include "windows/salaryimportdlg.h"
#include "windows/selcompany.h"
#include "windows/selcompanytype.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>

namespace bankprep {

BankprepApplication::BankprepApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(applicationTitle());
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

int runDesktopProgram(BankprepApplication& app, const QString& databasePath,
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
    Instances instances;
    try {
        instances.create(databasePath);
    } catch (const DbError& e) {
        MessageBox::error(nullptr, e.message());
        return 1;
    }
    instances.AppForm->show();
    if (started)
        started(instances);
    return app.exec();
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
    ImportDlg = new TImportDlg(AppForm.get());
    AppForm->setImportDlg(ImportDlg);
    SelectPaymentDlg = new TSelectPaymentDlg(DataModule2, AppForm.get());
    SplitSalaryDlg = new TSplitSalaryDlg(AppForm.get());
    ChgPwdDlg = new TChgPwdDlg(DataModule2, AppForm.get());
    exportCommand = new ExportCommand(DataModule2, AppForm.get(), SelectPaymentDlg, SplitSalaryDlg);
    AppForm->setExportCommand(exportCommand);
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
}

} // namespace bankprep
