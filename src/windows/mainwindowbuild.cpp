// The main window as it is made: its fonts, menus, tool bar and pages.
#include "core/data/names.h"
#include "windows/mainwindow.h"
#include "windows/safetywindows.h"

#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/filedialog.h"
#include "controls/icons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/data/users.h"
#include "core/import/salaryimport.h"
#include "core/import/spreadsheet.h"
#include "windows/about.h"
#include "windows/chgpwd.h"
#include "windows/exportcommand.h"
#include "windows/logindlg.h"
#include "windows/paymentaddition.h"
#include "windows/printcommand.h"
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

namespace {

const QColor kBlue(0x1f, 0x5f, 0xa8);
const QColor kGreen(0x2e, 0x7d, 0x32);
const QColor kOrange(0xc8, 0x6a, 0x10);
const QColor kRed(0xb0, 0x30, 0x30);
const QColor kGrey(0x55, 0x60, 0x6e);

// An item of a menu, with its object name and its hint for the status bar.
QAction* menuItem(QMenu* menu, const QString& text, const char* name, const QString& hint = {})
{
    auto* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        a->setStatusTip(hint);
    return a;
}

// A grid column: its field, width in characters and title; a check box for 是/否.
GridColumn gridColumn(const QString& field, int width, const char* title, bool check = false)
{
    GridColumn c;
    c.field = field;
    c.widthChars = width;
    c.title = QString::fromUtf8(title);
    c.checkBox = check;
    return c;
}

QFont songti(int pixels, bool bold)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace

void installFontSubstitutes()
{
    const QStringList cjk = {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), cjk);
    QFont::insertSubstitutions(QStringLiteral("隶书"), QStringList{QStringLiteral("LiSu")} + cjk);
    QFont::insertSubstitutions(QStringLiteral("LiSu"), cjk);
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               QStringList{QStringLiteral("DejaVu Sans")} + cjk);
}

TAppForm::TAppForm(TDataModule2& dm, QWidget* parent) : QMainWindow(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("AppForm"));
    setWindowTitle(QStringLiteral("网上银行批预处理子系统"));
    setFont(songti(13, true));
    resize(800, 476);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildActions();
    buildMenu();
    buildToolBar();
    buildPages();
    buildLookups();
    statusBar()->setSizeGripEnabled(true);
    setLoggedInControls(false);
    PaymentAdd->setChecked(true);
    Notebook1->setCurrentIndex(PaymentAddPage);
    Notebook1PageChanged();
    connect(Notebook1, &QStackedWidget::currentChanged, this, [this] { Notebook1PageChanged(); });
}

void TAppForm::buildActions()
{
    auto make = [this](const QString& text, const char* name, const QKeySequence& key = {}) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        addAction(a); // the shortcut works even where no control shows the action
        return a;
    };
    FileNew1 = make(QStringLiteral("新建"), "FileNew1", QKeySequence(Qt::CTRL | Qt::Key_N));
    FileOpen1 =
        make(QStringLiteral("导入工资文件"), "FileOpen1", QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSave1 = make(QStringLiteral("导出"), "FileSave1", QKeySequence(Qt::CTRL | Qt::Key_S));
    FileSaveAs1 = make(QStringLiteral("另存为"), "FileSaveAs1");
    FilePrint1 = make(QStringLiteral("打印"), "FilePrint1", QKeySequence(Qt::CTRL | Qt::Key_P));
    FileExit1 = make(QStringLiteral("退出"), "FileExit1");
    EditCut1 = make(QStringLiteral("剪切"), "EditCut1", QKeySequence(Qt::CTRL | Qt::Key_X));
    EditCopy1 = make(QStringLiteral("复制"), "EditCopy1", QKeySequence(Qt::CTRL | Qt::Key_C));
    EditPaste1 = make(QStringLiteral("粘贴"), "EditPaste1", QKeySequence(Qt::CTRL | Qt::Key_V));
    HelpAbout1 = make(QStringLiteral("关于..."), "HelpAbout1");
    ShowAddition1 = make(QStringLiteral("显示附加窗口"), "ShowAddition1");
    ShowAddition1->setCheckable(true);
    // Its check mark shows in the menu (an icon would take its place there).
    ShowAddition1->setIconVisibleInMenu(false);

    FileOpen1->setIcon(glyphIcon(QStringLiteral("资"), kGreen));
    FileOpen1->setToolTip(QStringLiteral("导入工资数据文件"));
    FileOpen1->setStatusTip(QStringLiteral("导入工资表"));
    FileExit1->setStatusTip(QStringLiteral("退出本程序"));
    EditCut1->setIcon(glyphIcon(QStringLiteral("剪"), kGrey));
    EditCopy1->setIcon(glyphIcon(QStringLiteral("复"), kGrey));
    EditPaste1->setIcon(glyphIcon(QStringLiteral("贴"), kGrey));
    EditCut1->setStatusTip(QStringLiteral("剪切"));
    EditCopy1->setStatusTip(QStringLiteral("复制"));
    EditPaste1->setStatusTip(QStringLiteral("粘贴"));
    ShowAddition1->setIcon(glyphIcon(QStringLiteral("附"), kBlue));
    ShowAddition1->setToolTip(QStringLiteral("显示支付指令附加浏览窗口"));
    ShowAddition1->setStatusTip(QStringLiteral("显示支付指令附加浏览窗口"));

    connect(FileNew1, &QAction::triggered, this, [this] { FileNew1Execute(FileNew1); });
    connect(FileOpen1, &QAction::triggered, this, [this] { FileOpen1Execute(); });
    connect(FileSave1, &QAction::triggered, this, [this] { FileSave1Execute(FileSave1); });
    connect(FileSaveAs1, &QAction::triggered, this, [this] { FileSave1Execute(FileSaveAs1); });
    connect(FileExit1, &QAction::triggered, this, [this] { FileExit1Execute(); });
    connect(EditCut1, &QAction::triggered, this, [this] { clipboardCommand(0); });
    connect(EditCopy1, &QAction::triggered, this, [this] { clipboardCommand(1); });
    connect(EditPaste1, &QAction::triggered, this, [this] { clipboardCommand(2); });
    connect(HelpAbout1, &QAction::triggered, this, [this] { HelpAbout1Execute(); });
    connect(ShowAddition1, &QAction::triggered, this, [this] { ShowAddition1Execute(); });
}

void TAppForm::buildMenu()
{
    QMenuBar* bar = menuBar();
    buildFileMenu(bar);
    buildEditMenu(bar);
    buildManageMenu(bar);
    Help1 = bar->addMenu(QStringLiteral("帮助"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->addAction(HelpAbout1);

    connectMenu();
}

// 文件: clear, import, export, exit.
void TAppForm::buildFileMenu(QMenuBar* bar)
{
    File1 = bar->addMenu(QStringLiteral("文件"));
    File1->setObjectName(QStringLiteral("File1"));
    New = File1->addMenu(glyphIcon(QStringLiteral("清"), kRed), QStringLiteral("新建"));
    New->setObjectName(QStringLiteral("New"));
    NewPayment = menuItem(New, QStringLiteral("支付指令"), "NewPayment",
                          QStringLiteral("清空当前用户支付指令表"));
    NewSalary =
        menuItem(New, QStringLiteral("工资表"), "NewSalary", QStringLiteral("清空当前用户工资表"));
    N3 = menuItem(File1, QStringLiteral("导入支付指令"), "N3");
    Import = FileOpen1;
    File1->addAction(Import);
    ImportCompany = menuItem(File1, QStringLiteral("导入往来账号"), "ImportCompany");
    UndoImportItem = menuItem(File1, QStringLiteral("撤销上次导入"), "UndoImportItem",
                              QStringLiteral("删除上次导入的记录"));
    Export = File1->addMenu(glyphIcon(QStringLiteral("出"), kOrange), QStringLiteral("导出"));
    Export->setObjectName(QStringLiteral("Export"));
    ExportPayment = menuItem(Export, QStringLiteral("支付指令"), "ExportPayment",
                             QStringLiteral("导出当前用户支付指令到文件"));
    ExportSalary = menuItem(Export, QStringLiteral("工资表"), "ExportSalary",
                            QStringLiteral("导出当前用户工资表到文件"));
    ExportCompany = menuItem(Export, QStringLiteral("往来账号"), "ExportCompany");
    File1->addSeparator();
    PrintPaymentsItem = menuItem(File1, QStringLiteral("打印支付清单"), "PrintPaymentsItem",
                                 QStringLiteral("打印当前用户的支付指令，供签字审批（Ctrl+P）"));
    PrintSalaryItem = menuItem(File1, QStringLiteral("打印工资表"), "PrintSalaryItem",
                               QStringLiteral("打印当前用户的工资表，供签字审批（Ctrl+P）"));
    File1->addSeparator();
    ExportLogItem = menuItem(File1, QStringLiteral("导出记录"), "ExportLogItem",
                             QStringLiteral("导出过的银行文件及其校验"));
    RestoreItem = menuItem(File1, QStringLiteral("恢复备份…"), "RestoreItem",
                           QStringLiteral("自动备份的列表与恢复"));
    File1->addSeparator();
    FileExitItem = FileExit1;
    File1->addAction(FileExitItem);
}

// 编辑: the clipboard and the detail window's toggle.
void TAppForm::buildEditMenu(QMenuBar* bar)
{
    Edit1 = bar->addMenu(QStringLiteral("编辑"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->addAction(EditCut1);
    Edit1->addAction(EditCopy1);
    Edit1->addAction(EditPaste1);
    ShowAdditionMenuItem = ShowAddition1;
    Edit1->addAction(ShowAdditionMenuItem);
}

// 管理: login, password and the pages, one of them checked.
void TAppForm::buildManageMenu(QMenuBar* bar)
{
    N2 = bar->addMenu(QStringLiteral("管理"));
    N2->setObjectName(QStringLiteral("N2"));
    Login = menuItem(N2, QStringLiteral("用户登陆"), "Login", QStringLiteral("用户登陆"));
    PwdChange = menuItem(N2, QStringLiteral("密码修改"), "PwdChange");
    N2->addSeparator();
    m_pageGroup = new QActionGroup(this);
    m_pageGroup->setExclusive(true);
    auto page = [&](const QString& text, const char* name, const QString& hint) {
        QAction* a = menuItem(N2, text, name, hint);
        a->setCheckable(true);
        m_pageGroup->addAction(a);
        return a;
    };
    PaymentAdd = page(QStringLiteral("支付指令"), "PaymentAdd", QStringLiteral("编辑支付指令"));
    CompanyMaintain =
        page(QStringLiteral("往来帐户表"), "CompanyMaintain", QStringLiteral("编辑往来帐户表"));
    Salary = page(QStringLiteral("工资表"), "Salary", QStringLiteral("编辑工资表"));
    Drawee = page(QStringLiteral("付款帐号表"), "Drawee",
                  QStringLiteral("编辑当前用户可使用付款帐号表"));
    CompanyType =
        page(QStringLiteral("账户分类管理"), "CompanyType", QStringLiteral("编辑往来账户分类"));
    Use = page(QStringLiteral("常见用途管理"), "Use", QStringLiteral("编辑常见用途"));
}

void TAppForm::connectMenu()
{
    connect(NewPayment, &QAction::triggered, this, [this] { FileNew1Execute(NewPayment); });
    connect(NewSalary, &QAction::triggered, this, [this] { FileNew1Execute(NewSalary); });
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    connect(ImportCompany, &QAction::triggered, this, [this] { ImportCompanyClick(); });
    const auto showWindow = [this](QDialog* const& dlg) {
        if (dlg) {
            QMetaObject::invokeMethod(dlg, "refresh");
            Modal::exec(dlg);
        }
    };
    connect(ExportLogItem, &QAction::triggered, this, [=, this] { showWindow(m_exportLog); });
    connect(RestoreItem, &QAction::triggered, this, [=, this] { showWindow(m_restoreBackup); });
    connect(UndoImportItem, &QAction::triggered, this, [this] {
        if (m_undoImport && m_undoImport->prepare())
            Modal::exec(m_undoImport);
    });
    connect(PrintPaymentsItem, &QAction::triggered, this, [this] {
        if (m_print)
            m_print->printPayments();
    });
    connect(PrintSalaryItem, &QAction::triggered, this, [this] {
        if (m_print)
            m_print->printSalary();
    });
    // Ctrl+P prints the list the page shows.
    connect(FilePrint1, &QAction::triggered, this, [this] {
        if (currentPage() == PaymentAddPage)
            PrintPaymentsItem->trigger();
        else if (currentPage() == SalaryPage)
            PrintSalaryItem->trigger();
    });
    connect(ExportPayment, &QAction::triggered, this, [this] { FileSave1Execute(ExportPayment); });
    connect(ExportSalary, &QAction::triggered, this, [this] { FileSave1Execute(ExportSalary); });
    connect(ExportCompany, &QAction::triggered, this, [this] { FileSave1Execute(ExportCompany); });
    connect(Login, &QAction::triggered, this, [this] { LoginClick(); });
    connect(PwdChange, &QAction::triggered, this, [this] { PwdChangeClick(); });
    connect(PaymentAdd, &QAction::triggered, this, [this] { PaymentAddClick(); });
    connect(CompanyMaintain, &QAction::triggered, this, [this] { CompanyMaintainClick(); });
    connect(Salary, &QAction::triggered, this, [this] { SalaryClick(); });
    connect(Drawee, &QAction::triggered, this, [this] { DraweeClick(); });
    connect(CompanyType, &QAction::triggered, this, [this] { CompanyTypeClick(); });
    connect(Use, &QAction::triggered, this, [this] { UseClick(); });
}

void TAppForm::buildToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    auto button = [this](const char* name, const QString& tip) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        b->setFixedHeight(24 + 6);
        b->setToolTip(tip);
        b->setStatusTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(b);
        return b;
    };
    TBNew = button("TBNew", QStringLiteral("清空数据"));
    TBNew->setIcon(glyphIcon(QStringLiteral("清"), kRed));
    TBOpen = button("TBOpen", QStringLiteral("导入工资数据文件"));
    TBOpen->setDefaultAction(FileOpen1);
    ToolButton1 = button("ToolButton1", QStringLiteral("导入支付指令"));
    ToolButton1->setIcon(glyphIcon(QStringLiteral("入"), kBlue));
    TBSave = button("TBSave", QStringLiteral("导出数据文件"));
    TBSave->setIcon(glyphIcon(QStringLiteral("出"), kOrange));
    ToolBar1->addSeparator();
    ToolButton4 = button("ToolButton4", QStringLiteral("剪切"));
    ToolButton4->setDefaultAction(EditCut1);
    ToolButton5 = button("ToolButton5", QStringLiteral("复制"));
    ToolButton5->setDefaultAction(EditCopy1);
    ToolButton6 = button("ToolButton6", QStringLiteral("粘贴"));
    ToolButton6->setDefaultAction(EditPaste1);
    ToolBar1->addSeparator();
    TBShow = button("TBShow", QStringLiteral("显示支付指令附加浏览窗口"));
    TBShow->setDefaultAction(ShowAddition1);
    ToolBar1->addSeparator();
    // A default action carries its own tooltip; the toolbar's texts win.
    TBOpen->setToolTip(QStringLiteral("导入工资数据文件"));
    ToolButton4->setToolTip(QStringLiteral("剪切"));
    ToolButton5->setToolTip(QStringLiteral("复制"));
    ToolButton6->setToolTip(QStringLiteral("粘贴"));

    connect(TBNew, &QToolButton::clicked, this, [this] { FileNew1Execute(TBNew); });
    connect(ToolButton1, &QToolButton::clicked, this, [this] { N3Click(); });
    connect(TBSave, &QToolButton::clicked, this, [this] { FileSave1Execute(TBSave); });
}

void TAppForm::buildPages()
{
    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    setCentralWidget(Notebook1);
    // In the order of the Page values.
    buildPaymentPages();
    buildPayeeAndPayrollPages();
    addGridPage("Drawee", m_dm.DSDrawee, {gridColumn(col::PayerAccount, 50, "付款帐号")},
                QStringLiteral("编辑有效付款帐号"), &DBGridDrawee, &DBNavigatorDrawee);
    addGridPage("CompanyType", m_dm.DSCompanyType,
                {gridColumn(col::TypeId, 6, "编号"), gridColumn(col::TypeName, 18, "类型")},
                QString(), &DBGridCompanyType, &DBNavigatorCompanyType);
    DBGridCompanyType->setFrozenFirstColumn(true);
    addGridPage("Use", m_dm.DSUse, {gridColumn(col::Purpose, 20, "用途")}, QString(), &DBGridUse,
                &DBNavigatorUse);
}

void TAppForm::addGridPage(const char* name, DataSource* source, const QList<GridColumn>& cols,
                           const QString& hint, DBGrid** grid, DBNavigator** nav)
{
    auto* w = new QWidget(Notebook1);
    w->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    *grid = new DBGrid(source, cols, w);
    (*grid)->setStatusTip(hint);
    (*grid)->setToolTip(QString());
    *nav = new DBNavigator(source, w);
    layout->addWidget(*grid, 1);
    layout->addWidget(*nav);
    Notebook1->addWidget(w);
}

// The payment grid, and the search page kept for its place among the pages.
void TAppForm::buildPaymentPages()
{
    addGridPage(
        "PaymentAdd", m_dm.DataSource1,
        {gridColumn(col::RowNo, 5, "序号"), gridColumn(col::SameCity, 1, "同城交易", true),
         gridColumn(col::PayeeAccount, 10, "收款帐号"),
         gridColumn(col::OwnBank, 1, "溯枫帐号", true), gridColumn(col::PayeeName, 10, "收款单位"),
         gridColumn(col::PayeeBank, 10, "收款银行"), gridColumn(col::PayeePlace, 10, "汇入地点"),
         gridColumn(col::Amount, 8, "金额"), gridColumn(col::Urgent, 1, "大额实时", true),
         gridColumn(col::Purpose, 20, "用途"), gridColumn(col::Remark, 20, "备注")},
        QStringLiteral("编辑支付指令"), &DBGridPayment, &DBNavigatorPayment);
    DBGridPayment->setCellFont(songti(15, false));
    DBGridPayment->setTitleFont(songti(13, true));
    DBGridPayment->setFrozenFirstColumn(true);
    DBNavigatorPayment->setPaymentTooltips();
    DBNavigatorPayment->setStatusTip(QStringLiteral("编辑支付指令"));

    auto* find = new QWidget(Notebook1);
    find->setObjectName(QStringLiteral("PaymentFind"));
    Notebook1->addWidget(find);
}

// The payee book and the payroll list, both sorted by a clicked title.
void TAppForm::buildPayeeAndPayrollPages()
{
    addGridPage(
        "CompanyMaintain", m_dm.DSCompany,
        {gridColumn(col::CustomNo, 10, "自定编号"), gridColumn(col::PayeeAccount, 10, "收款帐号"),
         gridColumn(col::OwnBank, 7, "溯枫帐号", true), gridColumn(col::PayeeBank, 10, "收款银行"),
         gridColumn(col::PayeeName, 10, "收款单位"), gridColumn(col::PayeePlace, 10, "汇入地点"),
         gridColumn(col::TypeOfPayee, 10, "账号分类"), gridColumn(col::Remark, 20, "备注")},
        QStringLiteral("编辑常用往来帐户"), &DBGridCompany, &DBNavigatorCompany);
    addGridPage("Salary", m_dm.DSSalary,
                {gridColumn(col::EmployeeNo, 10, "员工编号"),
                 gridColumn(col::EmployeeName, 10, "姓名"), gridColumn(col::CardNo, 20, "卡号"),
                 gridColumn(col::Amount, 20, "实发工资")},
                QStringLiteral("编辑代发工资表"), &DBGridSalary, &DBNavigatorSalary);
    DBNavigatorSalary->setStatusTip(QStringLiteral("编辑工资表"));
    // Title clicks sort the payee book and the payroll list (one field, ascending).
    for (DBGrid* grid : {DBGridCompany, DBGridSalary}) {
        grid->horizontalHeader()->setSectionsClickable(true);
        connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this, grid](int section) {
                    const QString field = grid->tableModel()->column(section).field;
                    if (grid == DBGridCompany)
                        DBGridCompanyTitleButtonClick(field);
                    else
                        DBGridSalaryTitleButtonClick(field);
                });
    }
}

} // namespace bankprep
