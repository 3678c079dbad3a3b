// The desktop program's shell, driven offscreen with pre-answered dialogs: login and
// user scoping, the clear commands, the page rules, grid editing and the password
// change.
#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/lookupdlg.h"
#include "controls/messagebox.h"
#include "core/data/passwordhash.h"
#include "core/data/users.h"
#include "guifixture.h"
#include "windows/about.h"
#include "windows/chgpwd.h"
#include "windows/exportdialogs.h"
#include "windows/importwindows.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/salaryimportdlg.h"
#include "windows/selcompany.h"
#include "windows/selcompanytype.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QToolButton>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

namespace {

// Plays the clerk at the login window: types each password in turn and presses OK,
// or presses "放弃" when the list holds no password.
void answerLogin(QStringList passwords)
{
    Modal::setNextHandler([passwords](QDialog* d) mutable {
        auto* dlg = static_cast<TPasswordDlg*>(d);
        if (passwords.isEmpty()) {
            dlg->BitBtn2->click();
            return dlg->result();
        }
        dlg->setResult(0);
        for (const QString& p : passwords) {
            dlg->Password->setText(p);
            dlg->OKBtnClick();
            if (dlg->result() == QDialog::Accepted)
                break;
        }
        return dlg->result();
    });
}

} // namespace

class TestMainWindow : public QObject, GuiFixture
{
    Q_OBJECT

    bool terminated = false;

    void start()
    {
        terminated = false;
        startProgram();
        form().terminate = [this] { terminated = true; };
    }

    void login(const QString& password = QString())
    {
        answerLogin({password});
        form().LoginClick();
        QVERIFY(!terminated);
        QCOMPARE(dm().CurrentUser, QStringLiteral("1"));
    }

    int count(const QString& sql) { return querySingle(ws->path(), sql).toInt(); }

private slots:
    void initTestCase() { installFontSubstitutes(); }

    void init()
    {
        newWorkspace();
        execSql(ws->path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('P-1a', '1')"));
        execSql(ws->path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('P-1b', '1')"));
        execSql(ws->path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('P-2', '2')"));
        execSql(ws->path(),
                QStringLiteral("insert into Salary(员工编号, 用户编号) values ('S-1', '1')"));
        execSql(ws->path(),
                QStringLiteral("insert into Salary(员工编号, 用户编号) values ('S-2', '2')"));
        execSql(ws->path(),
                QStringLiteral("insert into Drawee(付款帐号, 用户编号) values ('D-2', '2')"));
        execSql(ws->path(), QStringLiteral("insert into Company(收款帐号) values ('0')"));
        execSql(ws->path(), QStringLiteral("insert into Company(收款帐号) values ('955880')"));
        start();
    }

    void cleanup() { tearDown(); }

    void beforeLoginOnlyTheSharedPagesWork()
    {
        QCOMPARE(form().windowTitle(), QStringLiteral("网上银行批预处理子系统"));
        QCOMPARE(form().size(), QSize(800, 476));
        QCOMPARE(form().Notebook1->count(), 7);
        QCOMPARE(form().currentPage(), int(TAppForm::PaymentAddPage));
        QVERIFY(form().PaymentAdd->isChecked());
        for (QWidget* w :
             {static_cast<QWidget*>(form().DBGridPayment),
              static_cast<QWidget*>(form().DBGridCompany),
              static_cast<QWidget*>(form().DBGridSalary),
              static_cast<QWidget*>(form().DBGridDrawee), static_cast<QWidget*>(form().TBNew),
              static_cast<QWidget*>(form().TBOpen), static_cast<QWidget*>(form().TBSave)})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!form().ShowAddition1->isEnabled());
        QVERIFY(!form().New->menuAction()->isEnabled());
        QVERIFY(!form().Export->menuAction()->isEnabled());
        QVERIFY(!form().Import->isEnabled());
        QVERIFY(form().DBGridCompanyType->isEnabled());
        QVERIFY(form().DBGridUse->isEnabled());
        QVERIFY(form().ToolButton1->isEnabled());
        QVERIFY(form().N3->isEnabled());
        QVERIFY(form().ImportCompany->isEnabled());
        QVERIFY(form().Login->isEnabled());
        // User 0 has no rows; the payee book shows only account "0".
        QCOMPARE(dm().ATPayment->recordCount(), 0);
        QCOMPARE(dm().ATCompany->recordCount(), 1);
    }

    void loginIgnoresLetterCaseAndScopesTheData()
    {
        guarded(nullptr, [this] {
            dm().ATUser->first();
            storeUserPassword(dm(), QStringLiteral("Secret9"));
        });
        login(QStringLiteral("sECRET9"));
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY(form().DBGridPayment->isEnabled());
        QVERIFY(form().TBNew->isEnabled());
        QVERIFY(form().TBSave->isEnabled());
        QVERIFY(form().ShowAddition1->isEnabled());
        QCOMPARE(dm().ATPayment->filterText(), QStringLiteral("用户编号 = 1"));
        QCOMPARE(dm().ATPayment->recordCount(), 2);
        QCOMPARE(dm().ATSalary->recordCount(), 1);
        QCOMPARE(dm().ATDrawee->recordCount(), 0);
        QVERIFY(!dm().ATCompany->isFiltered());
        QCOMPARE(dm().ATCompany->recordCount(), 2); // account "0" included
        QCOMPARE(form().currentPage(), int(TAppForm::PaymentAddPage));
    }

    void wrongPasswordThenRight()
    {
        answerLogin({QStringLiteral("nope"), QString()});
        form().LoginClick();
        QVERIFY(!terminated);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("错误"));
        QCOMPARE(shown.first().text, QStringLiteral("密码错误"));
        QVERIFY(in->PasswordDlg->Password->text().isEmpty());
        QCOMPARE(dm().CurrentUser, QStringLiteral("1"));
    }

    void cancelledLoginEndsTheRun()
    {
        answerLogin({});
        form().LoginClick();
        QVERIFY(terminated);
        QCOMPARE(dm().CurrentUser, QStringLiteral("0"));
        QVERIFY(!form().DBGridPayment->isEnabled());
    }

    void cancelledLoginFromTheMenuEndsTheRun()
    {
        login();
        answerLogin({});
        form().Login->trigger();
        QVERIFY(terminated);
    }

    void plainPasswordIsStoredHashedAfterLogin()
    {
        in.reset();
        execSql(ws->path(), QStringLiteral("update \"User\" set 密码 = 'Abc'"));
        start();
        answerLogin({QStringLiteral("ABC")});
        form().LoginClick();
        QVERIFY(!terminated);
        const QString stored =
            querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString();
        QVERIFY(isPasswordHash(stored));
        QVERIFY(passwordMatches(stored, QStringLiteral("abc")));
    }

    void otherUsersRowsStayUntouched()
    {
        login();
        Table& p = *dm().ATPayment;
        p.first();
        p.edit();
        p.setValue(u"同城交易", QStringLiteral("是"));
        p.setValue(u"收款单位", QStringLiteral("甲公司"));
        p.post();
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 收款单位 from Payment where 收款帐号 = 'P-1a'"))
                     .toString(),
                 QStringLiteral("甲公司"));
        QVERIFY(querySingle(ws->path(),
                            QStringLiteral("select 收款单位 from Payment where 收款帐号 = 'P-2'"))
                    .isNull());
        QCOMPARE(p.locate(QStringLiteral("收款帐号"), {QStringLiteral("P-2")}), false);
    }

    void clearPaymentsYesDeletesOnlyTheUsersRows()
    {
        login();
        form().SalaryClick();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().NewPayment->trigger();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("提示"));
        QCOMPARE(shown.first().text, QStringLiteral("您确定要清空当前支付指令文件？"));
        QCOMPARE(count(QStringLiteral("select count(*) from Payment where 用户编号 = '1'")), 0);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment where 用户编号 = '2'")), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from Salary")), 2);
        QCOMPARE(dm().ATPayment->recordCount(), 0);
        QCOMPARE(form().currentPage(), int(TAppForm::PaymentAddPage));
        QVERIFY(in->PaymentAdditionDlg->isVisible());
        QVERIFY(form().ShowAddition1->isChecked());
    }

    void clearPaymentsNoStillSwitchesAndShows()
    {
        login();
        form().DraweeClick();
        MessageBox::setNextAnswer(QMessageBox::No);
        form().FileNew1Execute(form().NewPayment);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 3);
        QCOMPARE(form().currentPage(), int(TAppForm::PaymentAddPage));
        QVERIFY(in->PaymentAdditionDlg->isVisible());
    }

    void clearSalaryFromTheToolbar()
    {
        login();
        form().SalaryClick();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().TBNew->click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, QStringLiteral("您确定要清空当前工资文件？"));
        QCOMPARE(count(QStringLiteral("select count(*) from Salary where 用户编号 = '1'")), 0);
        QCOMPARE(count(QStringLiteral("select count(*) from Salary where 用户编号 = '2'")), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 3);
        QCOMPARE(form().currentPage(), int(TAppForm::SalaryPage));
    }

    void pageRules_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("tbNew");
        QTest::addColumn<bool>("tbSave");
        QTest::addColumn<bool>("showAddition");
        QTest::newRow("支付指令") << "PaymentAdd" << int(TAppForm::PaymentAddPage) << true << true
                                  << true;
        QTest::newRow("往来帐户表")
            << "CompanyMaintain" << int(TAppForm::CompanyMaintainPage) << false << true << false;
        QTest::newRow("工资表") << "Salary" << int(TAppForm::SalaryPage) << true << true << false;
        QTest::newRow("付款帐号表")
            << "Drawee" << int(TAppForm::DraweePage) << false << false << false;
        QTest::newRow("账户分类管理")
            << "CompanyType" << int(TAppForm::CompanyTypePage) << false << false << false;
        QTest::newRow("常见用途管理") << "Use" << int(TAppForm::UsePage) << false << false << false;
    }

    void pageRules()
    {
        QFETCH(QString, item);
        QFETCH(int, page);
        QFETCH(bool, tbNew);
        QFETCH(bool, tbSave);
        QFETCH(bool, showAddition);
        login();
        form().UseClick();
        auto* action = form().findChild<QAction*>(item);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(form().currentPage(), page);
        QVERIFY(action->isChecked());
        QCOMPARE(form().TBNew->isEnabled(), tbNew);
        QCOMPARE(form().TBSave->isEnabled(), tbSave);
        QCOMPARE(form().ShowAddition1->isEnabled(), showAddition);
        // The clear button does nothing where it has no list to clear.
        if (!tbNew) {
            form().FileNew1Execute(form().TBNew);
            QVERIFY(MessageBox::takeShown().isEmpty());
        }
    }

    void payeePageReReadsAndShowsEveryAccount()
    {
        login();
        dm().ATCompany->setFilterText(QStringLiteral("收款帐号 = 0"));
        dm().ATCompany->setFiltered(true);
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号) values ('added-by-import')"));
        form().CompanyMaintainClick();
        QVERIFY(!dm().ATCompany->isFiltered());
        QCOMPARE(dm().ATCompany->recordCount(), 3);
    }

    void shortcuts()
    {
        login();
        form().show();
        QApplication::setActiveWindow(&form());
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        form().DraweeClick();
        QSignalSpy salaryImport(&form(), &TAppForm::salaryImportRequested);
        QTest::keyClick(&form(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(MessageBox::takeShown().isEmpty()); // Ctrl+N does nothing
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 3);
        QTest::keyClick(&form(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(salaryImport.count(), 1);
        MessageBox::takeShown();
    }

    void navigatorsHaveTheirButtons()
    {
        QCOMPARE(form().DBNavigatorPayment->findChildren<QToolButton*>().size(), 14);
        QCOMPARE(form().DBNavigatorPayment->button(DBNavigator::Post)->toolTip(),
                 QStringLiteral("确认"));
        QCOMPARE(form().DBNavigatorPayment->button(DBNavigator::GotoBookmark)->toolTip(),
                 QStringLiteral("回到书签"));
        QCOMPARE(form().DBNavigatorSalary->button(DBNavigator::Post)->toolTip(),
                 QStringLiteral("确定"));
        QCOMPARE(form().DBNavigatorSalary->button(DBNavigator::GotoBookmark)->toolTip(),
                 QStringLiteral("返回书签"));
        QToolButton* next = form().DBNavigatorUse->button(DBNavigator::Next);
        QVERIFY(next->autoRepeat());
        QCOMPARE(next->autoRepeatDelay(), 500);
        QCOMPARE(next->autoRepeatInterval(), 100);
    }

    void gridEditingReachesTheDatabase()
    {
        login();
        form().DraweeClick();
        form().show();
        DBGrid* grid = form().DBGridDrawee;
        grid->setFocus();
        // Down on an empty list starts a new row; an untouched one is dropped by Up.
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(dm().ATDrawee->state(), Table::State::Insert);
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(dm().ATDrawee->state(), Table::State::Browse);
        QCOMPARE(dm().ATDrawee->rowCount(), 0);

        QTest::keyClick(grid, Qt::Key_Down);
        QVERIFY(grid->model()->setData(grid->model()->index(0, 0), QStringLiteral("955880012345")));
        form().DBNavigatorDrawee->click(DBNavigator::Post);
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 付款帐号 from Drawee where 用户编号 = '1'"))
                     .toString(),
                 QStringLiteral("955880012345"));
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void checkBoxesToggleWithOneClick()
    {
        login();
        form().show();
        DBGrid* grid = form().DBGridPayment;
        Table& p = *dm().ATPayment;
        p.first();
        const int col = grid->tableModel()->columnOfField(u"同城交易");
        const QRect cell = grid->visualRect(grid->model()->index(0, col));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(p.text(u"同城交易"), QStringLiteral("是"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(p.text(u"同城交易"), QStringLiteral("否"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(p.text(u"同城交易"), QStringLiteral("是"));
        p.post();
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 同城交易 from Payment where 收款帐号 = 'P-1a'"))
                     .toString(),
                 QStringLiteral("是"));
    }

    void deleteAsksFirst()
    {
        login();
        Table& p = *dm().ATPayment;
        p.first();
        MessageBox::setNextAnswer(QMessageBox::No);
        form().DBGridPayment->deleteCurrentRow();
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 3);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().DBNavigatorPayment->click(DBNavigator::Delete);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 2);
        QCOMPARE(MessageBox::takeShown().size(), 2);
    }

    void errorsReachTheDefaultDisplay()
    {
        login();
        form().UseClick();
        Table& u = *dm().ATUse;
        u.append();
        auto* model = form().DBGridPayment->model();
        Q_UNUSED(model);
        form().DBGridCompanyType->model()->setData(form().DBGridCompanyType->model()->index(0, 1),
                                                   QString());
        // A classification name longer than its column is refused as the classification
        // table reports its errors: "出错信息：" and the reason.
        dm().ATCompanyType->append();
        QVERIFY(form().DBGridCompanyType->model()->setData(
            form().DBGridCompanyType->model()->index(0, 1), QString(51, QLatin1Char('x'))));
        form().DBNavigatorCompanyType->click(DBNavigator::Post);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, applicationTitle());
        QVERIFY(shown.first().text.startsWith(QStringLiteral("出错信息：")));
        QVERIFY(shown.first().text.contains(QStringLiteral("type")));
        QCOMPARE(dm().ATCompanyType->state(), Table::State::Insert); // still in editing
        dm().ATCompanyType->cancel();
        u.cancel();
    }

    void passwordChangeChecksInOrder()
    {
        login();
        TChgPwdDlg& dlg = *in->ChgPwdDlg;
        // A wrong old password is reported alone, even with differing new ones.
        dlg.OldPwd->setText(QStringLiteral("wrong"));
        dlg.NewPwd->setText(QStringLiteral("a"));
        dlg.PwdAgain->setText(QStringLiteral("b"));
        dlg.BitBtn1Click();
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("错误"));
        QCOMPARE(shown.first().text, QStringLiteral("旧密码错误"));
        QVERIFY(dlg.OldPwd->text().isEmpty());
        QCOMPARE(dlg.NewPwd->text(), QStringLiteral("a"));

        // New passwords differing only in letter case are refused.
        dlg.OldPwd->setText(QString());
        dlg.NewPwd->setText(QStringLiteral("NewPass"));
        dlg.PwdAgain->setText(QStringLiteral("newpass"));
        dlg.BitBtn1Click();
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, QStringLiteral("两次输入的新密码不同，请检查输入。"));
        QVERIFY(dlg.NewPwd->text().isEmpty());
        QVERIFY(dlg.PwdAgain->text().isEmpty());
        QVERIFY(isPasswordHash(
            querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString()));
        QVERIFY(passwordMatches(
            querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString(),
            QString()));

        // Success: stored hashed, and the next login wants it.
        dlg.NewPwd->setText(QStringLiteral("NewPass"));
        dlg.PwdAgain->setText(QStringLiteral("NewPass"));
        dlg.BitBtn1Click();
        QVERIFY(MessageBox::takeShown().isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const QString stored =
            querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString();
        QVERIFY(isPasswordHash(stored));
        QVERIFY(!stored.contains(QStringLiteral("newpass"), Qt::CaseInsensitive));
        answerLogin({QString(), QStringLiteral("NEWPASS")});
        form().LoginClick();
        QVERIFY(!terminated);
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1); // the old empty password is refused
        QCOMPARE(shown.first().text, QStringLiteral("密码错误"));
    }

    void typedRowsSurviveARestart()
    {
        login();
        form().DraweeClick();
        Table& d = *dm().ATDrawee;
        auto* drawee = form().DBGridDrawee->model();
        d.append();
        QVERIFY(
            drawee->setData(drawee->index(d.currentRow(), 0), QStringLiteral("6222000011112222")));
        form().UseClick();
        Table& u = *dm().ATUse;
        auto* use = form().DBGridUse->model();
        u.append();
        QVERIFY(use->setData(use->index(u.currentRow(), 0), QStringLiteral("办公用品")));
        // Both rows are still being typed when the clerk closes the program: closing
        // stores them.
        QVERIFY(d.isEditing());
        QVERIFY(u.isEditing());
        form().show();
        QVERIFY(form().close());
        QVERIFY(MessageBox::takeShown().isEmpty());
        in.reset();
        start();
        login();
        QCOMPARE(dm().ATDrawee->recordCount(), 1);
        QCOMPARE(dm().ATDrawee->text(u"付款帐号"), QStringLiteral("6222000011112222"));
        QVERIFY(dm().ATUse->locate(QStringLiteral("用途"), {QStringLiteral("办公用品")}));
    }

    void closingKeepsARefusedRowOnScreen()
    {
        login();
        form().CompanyTypeClick();
        Table& t = *dm().ATCompanyType;
        t.append();
        t.setValue(u"type", QString(60, QLatin1Char('x'))); // longer than the column allows
        form().show();
        QVERIFY(!form().close()); // the refusal is shown; the default answer stays
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2); // the classification's own notice, then the question
        QVERIFY2(shown.first().text.contains(QStringLiteral("超出长度")),
                 qPrintable(shown.first().text));
        QCOMPARE(shown.last().icon, QMessageBox::Question);
        QVERIFY(form().isVisible());
        QVERIFY(t.isEditing());
        t.cancel();
    }

    void paymentRulesThroughTheGrid()
    {
        login();
        form().show();
        DBGrid* grid = form().DBGridPayment;
        Table& p = *dm().ATPayment;
        p.last(); // the end of the list offers a new instruction with its defaults
        QVERIFY(p.isNewRow(p.currentRow()));
        const int row = p.currentRow();
        auto* model = grid->model();
        auto cell = [&](const char16_t* field) {
            return model->index(row, grid->tableModel()->columnOfField(field));
        };
        QVERIFY(model->setData(cell(u"收款帐号"), QStringLiteral("6217000099")));
        QVERIFY(model->setData(cell(u"收款单位"), QStringLiteral("某某公司")));
        QVERIFY(model->setData(cell(u"同城交易"), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(model->setData(cell(u"金额"), QStringLiteral("1500.50")));
        form().DBNavigatorPayment->click(DBNavigator::Post);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        QCOMPARE(shown.first().title, applicationTitle());
        QCOMPARE(shown.first().text,
                 QStringLiteral("非同城交易且非溯枫帐号请输入汇入地点或收款银行"));
        QCOMPARE(p.state(), Table::State::Insert);
        QCOMPARE(p.text(u"收款单位"), QStringLiteral("某某公司"));

        // Corrected, it is stored; the new payee is offered in the "Information" box.
        QVERIFY(model->setData(cell(u"收款银行"), QStringLiteral("农业银行")));
        QVERIFY(model->setData(cell(u"汇入地点"), QStringLiteral("成都")));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().DBNavigatorPayment->click(DBNavigator::Post);
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("Information"));
        QCOMPARE(shown.first().icon, QMessageBox::Information);
        QCOMPARE(
            count(QStringLiteral("select count(*) from Company where 收款帐号 = '6217000099'")), 1);
        QCOMPARE(
            querySingle(ws->path(),
                        QStringLiteral("select 金额 from Payment where 收款帐号 = '6217000099'"))
                .toLongLong(),
            15005000LL);
    }

    void classificationDeleteThroughTheGrid()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('客户')"));
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('X', '1')"));
        login();
        dm().ATCompanyType->requery();
        form().CompanyTypeClick();
        MessageBox::setNextAnswer(QMessageBox::Yes); // delete the record?
        MessageBox::setNextAnswer(QMessageBox::Yes); // move its accounts?
        Modal::setNextHandler([](QDialog* d) {
            auto* picker = static_cast<TSelCompanyType*>(d);
            picker->DBGrid1->setCurrentIndex(picker->DBGrid1->model()->index(1, 0));
            picker->BitBtn2->click();
            return picker->result();
        });
        form().DBGridCompanyType->deleteCurrentRow();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).text,
                 QStringLiteral("您正要删除一个账户分类，是否要将该分类的账户转移到其它分类中？"));
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 账号分类 from Company where 收款帐号 = 'X'"))
                     .toString(),
                 QStringLiteral("2"));
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 1);
    }

    void duplicateClassificationThroughTheNavigator()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        login();
        Table& ct = *dm().ATCompanyType;
        ct.requery();
        form().CompanyTypeClick();
        form().DBNavigatorCompanyType->click(DBNavigator::Insert);
        auto* model = form().DBGridCompanyType->model();
        QVERIFY(model->setData(model->index(ct.currentRow(), 1), QStringLiteral("供应商")));
        form().DBNavigatorCompanyType->click(DBNavigator::Post);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1); // the notice only, no error display after it
        QCOMPARE(shown.first().title, applicationTitle());
        QCOMPARE(shown.first().text, QStringLiteral("出错信息：该分类已存在"));
        QCOMPARE(ct.state(), Table::State::Insert);
        ct.cancel();
    }

    void classificationPickerResults()
    {
        TSelCompanyType& picker = *in->SelCompanyType;
        QCOMPARE(picker.windowTitle(), QStringLiteral("账号分类过滤"));
        picker.BitBtn3->click();
        QCOMPARE(picker.result(), 2);
        picker.reject(); // Esc and the close box
        QCOMPARE(picker.result(), 2);
        picker.DBGrid1DblClick(); // even on an empty list
        QCOMPARE(picker.result(), 1);
        QVERIFY(picker.DBGrid1->isReadOnly());
    }

    void passwordChangeCancelChangesNothing()
    {
        login();
        const QString before =
            querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString();
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TChgPwdDlg*>(d);
            dlg->NewPwd->setText(QStringLiteral("x"));
            dlg->PwdAgain->setText(QStringLiteral("x"));
            dlg->BitBtn2->click();
            return dlg->result();
        });
        form().PwdChange->trigger();
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 密码 from \"User\"")).toString(),
                 before);
    }

    // The closing buttons of every dialog: captions (with their shortcut letters), object
    // names, which one Enter presses, left to right on screen, and in Tab order.
    void dialogButtonRows()
    {
        auto row = [](QDialog* dlg) {
            // Which one is the default button is read before showing (the dialog then
            // makes the focused button the default one for the moment).
            // Only the dialog's own buttons, not those of a file dialog it owns.
            auto own = [dlg] {
                QList<QPushButton*> list;
                for (QPushButton* b : dlg->findChildren<QPushButton*>()) {
                    if (b->window() == dlg)
                        list << b;
                }
                return list;
            };
            QList<QPushButton*> defaults;
            for (QPushButton* b : own()) {
                if (b->isDefault())
                    defaults << b;
            }
            dlg->show(); // laid out
            QList<QPushButton*> buttons = own();
            std::sort(buttons.begin(), buttons.end(), [dlg](QPushButton* a, QPushButton* b) {
                return a->mapTo(dlg, QPoint()).x() < b->mapTo(dlg, QPoint()).x();
            });
            QStringList shown;
            for (QPushButton* b : buttons)
                shown << b->text() + QLatin1Char('[') + b->objectName() + QLatin1Char(']') +
                             (defaults.contains(b) ? QStringLiteral("*") : QString());
            QStringList tabs;
            for (QWidget* w = dlg->nextInFocusChain(); w != dlg; w = w->nextInFocusChain()) {
                if (auto* b = qobject_cast<QPushButton*>(w); b && buttons.contains(b))
                    tabs << b->text();
            }
            dlg->hide();
            return shown.join(QLatin1Char(' ')) + QStringLiteral(" | ") +
                   tabs.join(QLatin1Char(' '));
        };
        QCOMPARE(row(in->PasswordDlg), QStringLiteral("确定[BitBtn1]* 放弃[BitBtn2] | 确定 放弃"));
        QCOMPARE(row(in->ChgPwdDlg), QStringLiteral("确定[BitBtn1]* 放弃[BitBtn2] | 确定 放弃"));
        QCOMPARE(row(in->SelectPaymentDlg), QStringLiteral("确定[]* 取消[] | 确定 取消"));
        QCOMPARE(row(in->SplitSalaryDlg), QStringLiteral("&Yes[]* 取消[] | &Yes 取消"));
        QCOMPARE(row(in->SelCompanyType),
                 QStringLiteral("选定[BitBtn2] 取消[BitBtn3] | 选定 取消"));
        QCOMPARE(row(in->FrmSelCompany), QStringLiteral("确认[]* 取消[] | 确认 取消"));
        QCOMPARE(row(form().LookupDlgAccount),
                 QStringLiteral("账号分类过滤[] 显示全部[] 确定[]* 取消[] | "
                                "确定 取消 账号分类过滤 显示全部"));
        QCOMPARE(row(in->AboutBox), QStringLiteral("确定[]* | 确定"));
        // The import windows: the profile buttons above, 预览 at the left of the closing row.
        QCOMPARE(
            row(in->ImportDlg),
            QStringLiteral("预览[BtnPreview] 保存方案...[BtnSaveProfile] 确定[]* "
                           "删除方案[BtnDeleteProfile] 放弃[] | 保存方案... 删除方案 预览 确定 "
                           "放弃"));
        const QString textWindow =
            QStringLiteral("预览[BtnPreview] 开始[]* 保存方案...[BtnSaveProfile] 浏览...[] 关闭[] "
                           "删除方案[BtnDeleteProfile] | 浏览... 预览 开始 关闭 保存方案... "
                           "删除方案");
        QCOMPARE(row(in->imptransfer), textWindow);
        QCOMPARE(row(in->FrmImportCompany), textWindow);
        // The detail window: its row at the bottom, the record buttons above it.
        TPaymentAdditionDlg& detail = *in->PaymentAdditionDlg;
        QVERIFY(detail.OKBtn->isDefault() && !detail.CancelBtn->isDefault());
        detail.show();
        QCOMPARE(detail.OKBtn->text() + detail.CancelBtn->text(), QStringLiteral("确定关闭"));
        QCOMPARE(detail.OKBtn->y(), detail.CancelBtn->y());
        QVERIFY(detail.OKBtn->x() < detail.CancelBtn->x());
        QCOMPARE(detail.OKBtn->nextInFocusChain(), detail.CancelBtn);
        detail.close();
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
