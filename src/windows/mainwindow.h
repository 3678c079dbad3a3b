#pragma once

#include <QMainWindow>
#include <QMap>
#include <functional>

class QAction;
class QFileDialog;
class QDialog;
class QActionGroup;
class QMenu;
class QMenuBar;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace bankprep {

class DataSource;
class DBGrid;
class DBNavigator;
class ExportCommand;
class TLookupDlg;
class TAboutBox;
class TChgPwdDlg;
class TDataModule2;
class TPasswordDlg;
class TPaymentAdditionDlg;
struct GridColumn;

// The main window: seven grid pages chosen through the 管理 menu, the toolbar, the
// menu, the actions and the status bar.
class TAppForm : public QMainWindow
{
    Q_OBJECT
public:
    enum Page
    {
        PaymentAddPage,
        PaymentFindPage,
        CompanyMaintainPage,
        SalaryPage,
        DraweePage,
        CompanyTypePage,
        UsePage
    };

    explicit TAppForm(TDataModule2& dm, QWidget* parent = nullptr);
    ~TAppForm() override;

    // The windows this one calls, created after it at start-up.
    void setAboutBox(TAboutBox* w) { AboutBox = w; }
    void setPaymentAdditionDlg(TPaymentAdditionDlg* w);
    void setPasswordDlg(TPasswordDlg* w) { PasswordDlg = w; }
    void setChgPwdDlg(TChgPwdDlg* w) { ChgPwdDlg = w; }
    void setExportCommand(ExportCommand* c) { m_export = c; }
    void setImportDlg(class TImportDlg* dlg) { m_importDlg = dlg; }
    void setImportWindows(QDialog* payments, QDialog* payees)
    {
        m_paymentImport = payments;
        m_payeeImport = payees;
    }

    // Whether the first showing runs the login (tests switch it off).
    void setLoginOnFirstShow(bool on) { m_loginOnFirstShow = on; }
    // Called when a login is cancelled: ends the run.
    std::function<void()> terminate;
    bool isTerminated() const { return m_terminated; }

    int currentPage() const;
    void showPage(Page page);

    // ---- handlers ----
    void FileNew1Execute(QObject* sender);
    void FileOpen1Execute();
    void FileSave1Execute(QObject* sender);
    void FileExit1Execute();
    void N3Click();
    void ImportCompanyClick();
    void HelpAbout1Execute();
    void ShowAddition1Execute();
    void LoginClick();
    void PwdChangeClick();
    void PaymentAddClick();
    void CompanyMaintainClick();
    void SalaryClick();
    void DraweeClick();
    void CompanyTypeClick();
    void UseClick();
    void Notebook1PageChanged();
    void DBGridCompanyTitleButtonClick(const QString& fieldName);
    void DBGridSalaryTitleButtonClick(const QString& fieldName);

    // The payee lookups of the payment grid.
    void setClassificationPicker(QDialog* picker) { m_classificationPicker = picker; }
    void runPaymentLookup(bool byAccount);
    // The close-ups: `chosen` holds the confirmed payee's fields.
    void LookupDlgAccountCloseUp(bool modified, const QMap<QString, QString>& chosen);
    void LookupDlgNameCloseUp(bool modified, const QMap<QString, QString>& chosen);
    void LookupDlgAccountUserButton1Click();
    void LookupDlgAccountUserButton2Click();
    void LookupDlgAccountCloseDialog();
    TLookupDlg* LookupDlgAccount = nullptr;
    TLookupDlg* LookupDlgName = nullptr;

    // ---- controls ----
    QToolBar* ToolBar1;
    QToolButton* TBNew;
    QToolButton* TBOpen;
    QToolButton* ToolButton1;
    QToolButton* TBSave;
    QToolButton* ToolButton4;
    QToolButton* ToolButton5;
    QToolButton* ToolButton6;
    QToolButton* TBShow;
    QStackedWidget* Notebook1;

    DBGrid* DBGridPayment;
    DBGrid* DBGridCompany;
    DBGrid* DBGridSalary;
    DBGrid* DBGridDrawee;
    DBGrid* DBGridCompanyType;
    DBGrid* DBGridUse;
    DBNavigator* DBNavigatorPayment;
    DBNavigator* DBNavigatorCompany;
    DBNavigator* DBNavigatorSalary;
    DBNavigator* DBNavigatorDrawee;
    DBNavigator* DBNavigatorCompanyType;
    DBNavigator* DBNavigatorUse;

    QMenu* File1;
    QMenu* New;
    QAction* NewPayment;
    QAction* NewSalary;
    QAction* N3;
    QAction* Import;
    QAction* ImportCompany;
    QMenu* Export;
    QAction* ExportPayment;
    QAction* ExportSalary;
    QAction* ExportCompany;
    QAction* FileExitItem;
    QMenu* Edit1;
    QAction* ShowAdditionMenuItem;
    QMenu* N2;
    QAction* Login;
    QAction* PwdChange;
    QAction* PaymentAdd;
    QAction* CompanyMaintain;
    QAction* Salary;
    QAction* Drawee;
    QAction* CompanyType;
    QAction* Use;
    QMenu* Help1;

    QAction* FileNew1;
    QAction* FileOpen1;
    QAction* FileSave1;
    QAction* FileSaveAs1;
    QAction* FileExit1;
    QAction* EditCut1;
    QAction* EditCopy1;
    QAction* EditPaste1;
    QAction* HelpAbout1;
    QAction* ShowAddition1;

signals:
    // The entry points of commands that other windows carry out.
    void salaryImportRequested();
    void exportRequested(QObject* sender);
    void paymentImportRequested();
    void payeeImportRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildActions();
    void buildMenu();
    void buildFileMenu(QMenuBar* bar);
    void buildEditMenu(QMenuBar* bar);
    void buildManageMenu(QMenuBar* bar);
    void connectMenu();
    void buildToolBar();
    void buildPages();
    void addGridPage(const char* name, DataSource* source, const QList<GridColumn>& cols,
                     const QString& hint, DBGrid** grid, DBNavigator** nav);
    void buildPaymentPages();
    void buildPayeeAndPayrollPages();
    void buildLookups();
    void buildLookupDialogs();
    void buildPaymentCellEditors();
    void buildClassificationDropDown();
    void copyChosenPayee(const QMap<QString, QString>& values, const QStringList& fields);
    void setLoggedInControls(bool on);
    void selectPageItem(QAction* item, bool tbNew, Page page);
    void clipboardCommand(int which);
    void terminateApplication();
    bool storePendingRows();

    TDataModule2& m_dm;
    TAboutBox* AboutBox = nullptr;
    TPaymentAdditionDlg* PaymentAdditionDlg = nullptr;
    TPasswordDlg* PasswordDlg = nullptr;
    TChgPwdDlg* ChgPwdDlg = nullptr;
    QActionGroup* m_pageGroup = nullptr;
    ExportCommand* m_export = nullptr;
    QDialog* m_paymentImport = nullptr;
    QDialog* m_payeeImport = nullptr;
    QDialog* m_classificationPicker = nullptr;
    class TImportDlg* m_importDlg = nullptr;
    QFileDialog* OpenDialog = nullptr;
    bool m_loginOnFirstShow = true;
    bool m_shownOnce = false;
    bool m_terminated = false;
};

// Maps the fonts the windows name (宋体, Tahoma, 隶书) to installed ones.
void installFontSubstitutes();

} // namespace bankprep
