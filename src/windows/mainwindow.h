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
class PrintCommand;
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
    void setPrintCommand(PrintCommand* c) { m_print = c; }
    void setImportDlg(class TImportDlg* dlg) { m_importDlg = dlg; }
    void setSafetyWindows(QDialog* restoreBackup, QDialog* exportLog,
                          class TUndoImportDlg* undoImport)
    {
        m_restoreBackup = restoreBackup;
        m_exportLog = exportLog;
        m_undoImport = undoImport;
    }
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
    TLookupDlg* LookupDlgAccount = nullptr; // lookup dialog of the payment grid's 收款帐号
    TLookupDlg* LookupDlgName = nullptr;    // lookup dialog of the payment grid's 收款单位

    // ---- controls ----
    QToolBar* ToolBar1;        // the toolbar below the menu
    QToolButton* TBNew;        // toolbar 清空数据: clears the list of the page shown
    QToolButton* TBOpen;       // toolbar 导入工资数据文件 (FileOpen1)
    QToolButton* ToolButton1;  // toolbar 导入支付指令
    QToolButton* TBSave;       // toolbar 导出数据文件: exports the list of the page shown
    QToolButton* ToolButton4;  // toolbar 剪切 (EditCut1)
    QToolButton* ToolButton5;  // toolbar 复制 (EditCopy1)
    QToolButton* ToolButton6;  // toolbar 粘贴 (EditPaste1)
    QToolButton* TBShow;       // toolbar toggle of the detail window (ShowAddition1)
    QStackedWidget* Notebook1; // the pages, in the order of Page; one shown

    DBGrid* DBGridPayment;               // page 支付指令: the user's payment instructions
    DBGrid* DBGridCompany;               // page 往来帐户表: the payee book
    DBGrid* DBGridSalary;                // page 工资表: the user's payroll lines
    DBGrid* DBGridDrawee;                // page 付款帐号表: the user's payer accounts
    DBGrid* DBGridCompanyType;           // page 账户分类管理: the payee classifications
    DBGrid* DBGridUse;                   // page 常见用途管理: the common purposes
    DBNavigator* DBNavigatorPayment;     // navigator bar of DBGridPayment
    DBNavigator* DBNavigatorCompany;     // navigator bar of DBGridCompany
    DBNavigator* DBNavigatorSalary;      // navigator bar of DBGridSalary
    DBNavigator* DBNavigatorDrawee;      // navigator bar of DBGridDrawee
    DBNavigator* DBNavigatorCompanyType; // navigator bar of DBGridCompanyType
    DBNavigator* DBNavigatorUse;         // navigator bar of DBGridUse

    QMenu* File1;           // menu 文件
    QMenu* New;             // 文件 → 新建 (submenu of the clear commands)
    QAction* NewPayment;    // 文件 → 新建 → 支付指令: clears the user's instructions
    QAction* NewSalary;     // 文件 → 新建 → 工资表: clears the user's payroll lines
    QAction* N3;            // 文件 → 导入支付指令
    QAction* Import;        // 文件 → 导入工资文件 (FileOpen1)
    QAction* ImportCompany; // 文件 → 导入往来账号
    QMenu* Export;          // 文件 → 导出 (submenu)
    QAction* ExportPayment; // 文件 → 导出 → 支付指令
    QAction* ExportSalary;  // 文件 → 导出 → 工资表
    QAction* ExportCompany; // 文件 → 导出 → 往来账号
    QAction* PrintPaymentsItem;    // 文件 → 打印支付清单: a report for signature
    QAction* PrintSalaryItem;      // 文件 → 打印工资表
    QAction* ExportLogItem;        // 文件 → 导出记录: the journal of bank files written
    QAction* RestoreItem;          // 文件 → 恢复备份…: the backups and their restore
    QAction* UndoImportItem;       // 文件 → 撤销上次导入
    QAction* FileExitItem;         // 文件 → 退出 (FileExit1)
    QMenu* Edit1;                  // menu 编辑
    QAction* ShowAdditionMenuItem; // 编辑 → 显示附加窗口 (ShowAddition1)
    QMenu* N2;                     // menu 管理
    QAction* Login;                // 管理 → 用户登陆
    QAction* PwdChange;            // 管理 → 密码修改
    QAction* PaymentAdd;           // 管理 → 支付指令: shows that page
    QAction* CompanyMaintain;      // 管理 → 往来帐户表: shows that page
    QAction* Salary;               // 管理 → 工资表: shows that page
    QAction* Drawee;               // 管理 → 付款帐号表: shows that page
    QAction* CompanyType;          // 管理 → 账户分类管理: shows that page
    QAction* Use;                  // 管理 → 常见用途管理: shows that page
    QMenu* Help1;                  // menu 帮助

    QAction* FileNew1;      // 新建, Ctrl+N (by itself clears nothing)
    QAction* FileOpen1;     // 导入工资文件, Ctrl+O: the payroll import
    QAction* FileSave1;     // 导出, Ctrl+S: exports the list of the page shown
    QAction* FileSaveAs1;   // 另存为: as 导出
    QAction* FilePrint1;    // 打印, Ctrl+P: prints the list of the page shown
    QAction* FileExit1;     // 退出: closes the program
    QAction* EditCut1;      // 剪切, Ctrl+X
    QAction* EditCopy1;     // 复制, Ctrl+C
    QAction* EditPaste1;    // 粘贴, Ctrl+V
    QAction* HelpAbout1;    // 帮助 → 关于...
    QAction* ShowAddition1; // 显示附加窗口: shows or hides the detail window

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
    PrintCommand* m_print = nullptr;
    QDialog* m_paymentImport = nullptr;
    QDialog* m_payeeImport = nullptr;
    QDialog* m_classificationPicker = nullptr;
    class TImportDlg* m_importDlg = nullptr;
    QDialog* m_restoreBackup = nullptr;
    QDialog* m_exportLog = nullptr;
    class TUndoImportDlg* m_undoImport = nullptr;
    QFileDialog* OpenDialog = nullptr;
    bool m_loginOnFirstShow = true;
    bool m_shownOnce = false;
    bool m_terminated = false;
};

// Maps the fonts the windows name (宋体, Tahoma, 隶书) to installed ones.
void installFontSubstitutes();

} // namespace bankprep
