#include "windows/mainwindow.h"

#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/filedialog.h"
#include "controls/icons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/data/names.h"
#include "core/data/users.h"
#include "core/import/salaryimport.h"
#include "core/import/spreadsheet.h"
#include "windows/about.h"
#include "windows/chgpwd.h"
#include "windows/exportcommand.h"
#include "windows/importtools.h"
#include "windows/logindlg.h"
#include "windows/paymentaddition.h"
#include "windows/salaryimportdlg.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace bankprep {

TAppForm::~TAppForm() = default;

void TAppForm::setPaymentAdditionDlg(TPaymentAdditionDlg* w)
{
    PaymentAdditionDlg = w;
    if (w) {
        // Closing the detail window releases the toggle.
        connect(w, &TPaymentAdditionDlg::closed, this,
                [this] { ShowAddition1->setChecked(false); });
    }
}

void TAppForm::setLoggedInControls(bool on)
{
    // A grid's navigator edits the same rows: it follows its grid.
    for (auto [grid, nav] :
         {std::pair{DBGridPayment, DBNavigatorPayment}, std::pair{DBGridSalary, DBNavigatorSalary},
          std::pair{DBGridDrawee, DBNavigatorDrawee},
          std::pair{DBGridCompany, DBNavigatorCompany}}) {
        grid->setEnabled(on);
        nav->setEnabled(on);
    }
    if (on) {
        DBGridCompanyType->setEnabled(true);
        DBNavigatorCompanyType->setEnabled(true);
    }
    ShowAddition1->setEnabled(on);
    TBNew->setEnabled(on);
    FileOpen1->setEnabled(on);
    TBSave->setEnabled(on);
    New->setEnabled(on);
    New->menuAction()->setEnabled(on);
    Export->setEnabled(on);
    Export->menuAction()->setEnabled(on);
    for (QAction* print : {PrintPaymentsItem, PrintSalaryItem, FilePrint1})
        print->setEnabled(on);
}

int TAppForm::currentPage() const
{
    return Notebook1->currentIndex();
}

void TAppForm::showPage(Page page)
{
    Notebook1->setCurrentIndex(page);
}

void TAppForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (m_loginOnFirstShow)
        QTimer::singleShot(0, this, [this] { LoginClick(); });
}

bool TAppForm::storePendingRows()
{
    static const QMap<QString, QString> lists = {
        {tbl::Payment, QStringLiteral("支付指令")},
        {tbl::Company, QStringLiteral("往来帐户表")},
        {tbl::Salary, QStringLiteral("工资表")},
        {tbl::Drawee, QStringLiteral("付款帐号表")},
        {tbl::CompanyType, QStringLiteral("账户分类")},
        {tbl::Use, QStringLiteral("常见用途")},
    };
    // A row still being typed (in a cell or the detail window) is stored before the
    // program ends; an untouched new row is dropped. A row the rules refuse is not
    // silently lost, and does not keep the clerk from leaving either: store it after
    // all (try again), discard it, or stay and correct it.
    for (Table* t :
         {m_dm.ATPayment.get(), m_dm.ATCompany.get(), m_dm.ATSalary.get(), m_dm.ATDrawee.get(),
          m_dm.ATUser.get(), m_dm.ATCompanyType.get(), m_dm.ATUse.get()}) {
        if (!t->isOpen())
            continue;
        for (;;) {
            QString reason;
            try {
                t->checkBrowseMode();
                break;
            } catch (const DbError& e) {
                reason = e.message();
            } catch (const AbortError&) {
                // Its own notice was shown.
            }
            const QString text =
                QStringLiteral("“%1”中正在编辑的记录未能保存%2\n\n"
                               "保存：再试一次保存这条记录；\n"
                               "放弃：放弃这条记录的修改，然后退出；\n"
                               "取消：回到程序中修改这条记录。")
                    .arg(lists.value(t->tableName(), t->tableName()),
                         reason.isEmpty() ? QStringLiteral("。") : QStringLiteral("：\n") + reason);
            const auto answer =
                MessageBox::question(this, applicationTitle(), text,
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Cancel);
            if (answer == QMessageBox::Save)
                continue;
            if (answer == QMessageBox::Discard && guarded(this, [t] { t->cancel(); }))
                break;
            return false;
        }
    }
    return true;
}

void TAppForm::closeEvent(QCloseEvent* event)
{
    if (!storePendingRows()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TAppForm::terminateApplication()
{
    m_terminated = true;
    storePendingRows();
    if (terminate) {
        terminate();
        return;
    }
    hide();
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

// ---------------------------------------------------------------------------
// Login and password

void TAppForm::LoginClick()
{
    if (!PasswordDlg)
        return;
    if (Modal::exec(PasswordDlg) != QDialog::Accepted) {
        terminateApplication();
        return;
    }
    setLoggedInControls(true);
    guarded(this, [this] { applyLogin(m_dm, PasswordDlg->UserId->text()); });
    PaymentAddClick();
    Notebook1PageChanged();
    // Ready for typing: the first column that takes input, with the focus.
    DBGridPayment->goToFirstEditableColumn();
    DBGridPayment->setFocus();
}

void TAppForm::PwdChangeClick()
{
    if (ChgPwdDlg)
        Modal::exec(ChgPwdDlg);
}

// ---------------------------------------------------------------------------
// Pages

void TAppForm::selectPageItem(QAction* item, bool tbNew, Page page)
{
    // What is being typed on the page left goes into its row first (a refused value,
    // such as an amount that is not a number, keeps the clerk on the page).
    for (Table* t : {m_dm.ATPayment.get(), m_dm.ATCompany.get(), m_dm.ATSalary.get(),
                     m_dm.ATDrawee.get(), m_dm.ATCompanyType.get(), m_dm.ATUse.get()}) {
        if (!guarded(this, [t] { t->updateRecord(); })) {
            // The page items follow the pages, without the unused PaymentFind page.
            const int shown = currentPage() == PaymentAddPage ? 0 : currentPage() - 1;
            m_pageGroup->actions().at(shown)->setChecked(true);
            return;
        }
    }
    item->setChecked(true);
    TBNew->setEnabled(tbNew);
    showPage(page);
}

void TAppForm::PaymentAddClick()
{
    selectPageItem(PaymentAdd, true, PaymentAddPage);
}

void TAppForm::CompanyMaintainClick()
{
    // The payee book is read afresh: rows added by statements appear (and when nothing
    // changed since it was read, nothing is read).
    const bool ok = guarded(this, [this] {
        if (m_dm.ATCompany->isOpen())
            m_dm.ATCompany->requery();
        else
            m_dm.ATCompany->open();
    });
    if (!ok && !m_dm.ATCompany->isOpen())
        guarded(this, [this] { m_dm.ATCompany->open(); });
    selectPageItem(CompanyMaintain, false, CompanyMaintainPage);
}

void TAppForm::SalaryClick()
{
    selectPageItem(Salary, true, SalaryPage);
}

void TAppForm::DraweeClick()
{
    selectPageItem(Drawee, false, DraweePage);
}

void TAppForm::CompanyTypeClick()
{
    selectPageItem(CompanyType, false, CompanyTypePage);
}

void TAppForm::UseClick()
{
    selectPageItem(Use, false, UsePage);
}

void TAppForm::Notebook1PageChanged()
{
    const int page = currentPage();
    // The toggle belongs to the payment page; an open detail window stays open.
    const bool loggedIn = DBGridPayment->isEnabled();
    ShowAddition1->setEnabled(loggedIn && page == PaymentAddPage);
    if (page == CompanyMaintainPage)
        guarded(this, [this] { m_dm.ATCompany->setFiltered(false); });
    TBSave->setEnabled(
        loggedIn && (page == PaymentAddPage || page == CompanyMaintainPage || page == SalaryPage));
}

void TAppForm::DBGridCompanyTitleButtonClick(const QString& fieldName)
{
    // The classification column sorts by the stored id, as text.
    const QString field = fieldName == col::TypeOfPayee ? col::Classification : fieldName;
    guarded(this, [&] { m_dm.ATCompany->setSortField(field); });
}

void TAppForm::DBGridSalaryTitleButtonClick(const QString& fieldName)
{
    guarded(this, [&] { m_dm.ATSalary->setSortField(fieldName); });
}

void TAppForm::ShowAddition1Execute()
{
    if (!PaymentAdditionDlg)
        return;
    if (ShowAddition1->isChecked())
        PaymentAdditionDlg->show();
    else
        PaymentAdditionDlg->hide();
}

// ---------------------------------------------------------------------------
// Clear commands

void TAppForm::FileNew1Execute(QObject* sender)
{
    if (sender == TBNew) {
        if (currentPage() == PaymentAddPage)
            FileNew1Execute(NewPayment);
        else if (currentPage() == SalaryPage)
            FileNew1Execute(NewSalary);
        return;
    }
    const bool payments = sender == NewPayment;
    if (!payments && sender != NewSalary)
        return; // Ctrl+N and anything else: nothing
    const QString question = payments ? QStringLiteral("您确定要清空当前支付指令文件？")
                                      : QStringLiteral("您确定要清空当前工资文件？");
    if (MessageBox::question(this, QStringLiteral("提示"), question) == QMessageBox::Yes) {
        const bool ok = guarded(this, [&] {
            if (payments)
                m_dm.clearPayments();
            else
                m_dm.clearSalary();
        });
        if (!ok)
            return;
    }
    if (payments) {
        if (PaymentAdditionDlg) {
            PaymentAdditionDlg->show();
            ShowAddition1->setChecked(true);
        }
        PaymentAddClick();
    } else {
        SalaryClick();
    }
}

// ---------------------------------------------------------------------------
// Other commands

void TAppForm::FileOpen1Execute()
{
    emit salaryImportRequested();
    if (!m_importDlg)
        return;
    if (!OpenDialog) {
        OpenDialog = createFileDialog(this, QStringLiteral("OpenDialog"));
        OpenDialog->setFileMode(QFileDialog::ExistingFile);
        OpenDialog->setNameFilters(
            {QStringLiteral("EXCEL数据文件(*.xls *.xlsx *.csv)"), QStringLiteral("所有文件(*.*)")});
    }
    OpenDialog->setWindowTitle(QStringLiteral("请选择导入数据文件..."));
    if (Modal::exec(OpenDialog) != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    SalaryFile opened;
    try {
        opened = openSalaryFile(OpenDialog->selectedFiles().first());
    } catch (const DbError& e) {
        MessageBox::warning(this, QStringLiteral("警告"), e.message());
        return;
    }
    m_importDlg->setSheet(&opened.sheet);
    m_importDlg->setTitles(opened.titles);
    const int answer = Modal::exec(m_importDlg);
    m_importDlg->setSheet(nullptr);
    if (answer != 1)
        return;
    const SalaryColumns columns = m_importDlg->columns();
    if (!confirmRepeatedImport(this, m_dm, ImportKind::Salary, opened.source.sha256))
        return;
    int stored = 0;
    try {
        stored = importSalary(m_dm, opened.sheet, columns, opened.source);
    } catch (const AbortError&) {
        return;
    } catch (const DbError& e) {
        MessageBox::error(this, e.message());
        return;
    }
    m_importDlg->rememberMapping();
    MessageBox::information(this, QStringLiteral("导入结果"), salaryImportedMessage(stored));
    const QStringList cards = cardNumberWarnings(opened.sheet, columns, stored);
    if (!cards.isEmpty())
        MessageBox::warning(this, QStringLiteral("卡号提醒"),
                            cardWarningHeading() + QLatin1Char('\n') +
                                cards.join(QLatin1Char('\n')));
}

void TAppForm::FileSave1Execute(QObject* sender)
{
    emit exportRequested(sender);
    // The toolbar button, and Ctrl+S / Save As, export what the page shows.
    if (sender == TBSave || sender == FileSave1 || sender == FileSaveAs1) {
        switch (currentPage()) {
        case PaymentAddPage:
            FileSave1Execute(ExportPayment);
            break;
        case CompanyMaintainPage:
            FileSave1Execute(ExportCompany);
            break;
        case SalaryPage:
            FileSave1Execute(ExportSalary);
            break;
        default:
            break;
        }
        return;
    }
    if (!m_export)
        return;
    if (sender == ExportPayment)
        m_export->exportPayments();
    else if (sender == ExportSalary)
        m_export->exportSalary();
    else if (sender == ExportCompany)
        m_export->exportPayees();
}

void TAppForm::N3Click()
{
    emit paymentImportRequested();
    if (m_paymentImport)
        Modal::exec(m_paymentImport);
}

void TAppForm::ImportCompanyClick()
{
    emit payeeImportRequested();
    if (m_payeeImport)
        Modal::exec(m_payeeImport);
}

void TAppForm::FileExit1Execute()
{
    close();
}

void TAppForm::HelpAbout1Execute()
{
    if (AboutBox)
        Modal::exec(AboutBox);
}

void TAppForm::clipboardCommand(int which)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        if (which == 0)
            edit->cut();
        else if (which == 1)
            edit->copy();
        else
            edit->paste();
        return;
    }
    // In a grid outside its editor, copy takes the current cell's text.
    if (auto* grid = qobject_cast<DBGrid*>(focus);
        grid && which == 1 && grid->currentIndex().isValid())
        QGuiApplication::clipboard()->setText(grid->currentIndex().data(Qt::EditRole).toString());
}

} // namespace bankprep
