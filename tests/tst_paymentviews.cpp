// The payment editing views: the payee lookups of the payment grid, title-click
// sorting, the payee picker and the payment detail window, all sharing the tables'
// current rows, filter and sort.
#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/lookupcombo.h"
#include "controls/lookupdlg.h"
#include "controls/messagebox.h"
#include "guifixture.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/selcompany.h"
#include "windows/selcompanytype.h"

#include <QAction>
#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestPaymentViews : public QObject, GuiFixture
{
    Q_OBJECT

    Table& pay() { return *dm().ATPayment; }
    Table& company() { return *dm().ATCompany; }

    // Answers the lookup dialog: optionally filter by the classification at `typeRow`,
    // then confirm the row `row` of the list (or cancel when row < 0).
    void answerLookup(int row, int typeRow = -1)
    {
        Modal::setNextHandler([this, row, typeRow](QDialog* d) {
            auto* dlg = static_cast<TLookupDlg*>(d);
            if (typeRow >= 0) {
                Modal::setNextHandler([typeRow](QDialog* p) {
                    auto* picker = static_cast<TSelCompanyType*>(p);
                    picker->DBGrid1->setCurrentIndex(picker->DBGrid1->model()->index(typeRow, 0));
                    picker->BitBtn2->click();
                    return picker->result();
                });
                dlg->UserButton1->click();
            }
            if (row < 0)
                return 2;
            company().moveTo(row);
            return 1;
        });
    }

private slots:
    void init()
    {
        newWorkspace();
        const QString db = ws->path();
        execSql(db, QStringLiteral(
                        "insert into CompanyType(type) values ('供应商'),('客户')")); // ids 1, 2
        execSql(db, QStringLiteral("insert into Company(收款帐号, 收款单位, 收款银行, 汇入地点, "
                                   "溯枫帐号, 备注, 账号分类) values "
                                   "('A1','甲公司','工行','上海','否','月结','2'),"
                                   "('B2','乙公司','农行','','是',NULL,'1'),"
                                   "('C3','丙公司','建行','北京','否',NULL,'1'),"
                                   "('D4','丁公司','中行','广州','否',NULL,'1'),"
                                   "('E5','戊公司','交行','深圳','否',NULL,NULL)"));
        execSql(db,
                QStringLiteral("insert into Payment(同城交易, 收款帐号, 溯枫帐号, 收款单位, "
                               "收款银行, 汇入地点, 金额, 大额实时, 用途, "
                               "备注, 用户编号) values "
                               "('否','X','否','旧名','旧行','旧地',10000,'否','货款','备','1'),"
                               "('是','Y','是','某','',NULL,20000,'否','货款','','1')"));
        startProgram();
        logIn();
    }

    void cleanup() { tearDown(); }

    // ---- lookups -----------------------------------------------------------------

    void cancelledLookupChangesNothing()
    {
        pay().first();
        answerLookup(-1);
        in->AppForm->runPaymentLookup(true);
        QVERIFY(!pay().isEditing());
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("X"));
        QVERIFY(!company().isFiltered());
    }

    void accountLookupCopiesThePayee()
    {
        pay().first();
        answerLookup(1); // B2, whose place is empty in the payee book
        in->AppForm->runPaymentLookup(true);
        QCOMPARE(pay().state(), Table::State::Edit);
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("B2"));
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("乙公司"));
        QCOMPARE(pay().text(u"收款银行"), QStringLiteral("农行"));
        QCOMPARE(pay().text(u"汇入地点"), QString()); // emptied
        QCOMPARE(pay().text(u"溯枫帐号"), QStringLiteral("是"));
        // Untouched: same-city flag, amount, purpose, remark.
        QCOMPARE(pay().text(u"同城交易"), QStringLiteral("否"));
        QCOMPARE(pay().text(u"金额"), QStringLiteral("1"));
        QCOMPARE(pay().text(u"用途"), QStringLiteral("货款"));
        QCOMPARE(pay().text(u"备注"), QStringLiteral("备"));
    }

    void filteredLookupGivesTheChosenAccount()
    {
        pay().first();
        answerLookup(2, 0); // filter by 供应商 (id 1): B2, C3, D4; the third is D4
        in->AppForm->runPaymentLookup(false); // the name dialog
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("丁公司"));
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("D4"));
        QCOMPARE(pay().text(u"汇入地点"), QStringLiteral("广州"));
        QVERIFY(!company().isFiltered()); // the payee-book page lists all accounts again
        QCOMPARE(company().recordCount(), 5);
    }

    void showAllAfterAFilter()
    {
        Modal::setNextHandler([this](QDialog* d) {
            auto* dlg = static_cast<TLookupDlg*>(d);
            Modal::setNextHandler([](QDialog* p) {
                auto* picker = static_cast<TSelCompanyType*>(p);
                picker->DBGrid1->setCurrentIndex(picker->DBGrid1->model()->index(1, 0)); // 客户
                picker->BitBtn2->click();
                return picker->result();
            });
            dlg->UserButton1->click();
            const int filtered = company().recordCount();
            dlg->UserButton2->click();
            return filtered == 1 && company().recordCount() == 5 && company().currentRow() == 0
                       ? 2
                       : 99;
        });
        in->AppForm->runPaymentLookup(true);
        QVERIFY(!company().isFiltered());
    }

    void lookupButtonInTheGridCell()
    {
        in->AppForm->show();
        DBGrid* grid = in->AppForm->DBGridPayment;
        pay().first();
        const QModelIndex cell =
            grid->model()->index(0, grid->tableModel()->columnOfField(u"收款单位"));
        grid->setCurrentIndex(cell);
        grid->edit(cell);
        auto* button = grid->viewport()->findChild<QToolButton*>(QStringLiteral("lookupButton"));
        QVERIFY(button);
        answerLookup(0); // the name dialog, first payee: 甲公司
        button->click();
        QTRY_COMPARE(pay().text(u"收款单位"), QStringLiteral("甲公司"));
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("A1"));
        QCOMPARE(pay().text(u"汇入地点"), QStringLiteral("上海"));
        pay().cancel();
    }

    void typingIntoALookupCell()
    {
        in->AppForm->show();
        QApplication::setActiveWindow(in->AppForm.get());
        DBGrid* grid = in->AppForm->DBGridPayment;
        pay().first();
        const QModelIndex cell =
            grid->model()->index(0, grid->tableModel()->columnOfField(u"收款帐号"));
        grid->setCurrentIndex(cell);
        grid->edit(cell);
        auto* edit = grid->viewport()->findChild<QLineEdit*>(QStringLiteral("text"));
        QVERIFY(edit);
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("Z9"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(pay().text(u"收款帐号"),
                 QStringLiteral("Z9")); // typed, not chosen: nothing copied
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("旧名"));
        pay().cancel();
    }

    void lookupSearchMovesToTheFirstMatch()
    {
        TLookupDlg& dlg = *in->AppForm->LookupDlgAccount;
        dlg.search(QStringLiteral("c"));
        QCOMPARE(company().text(u"收款帐号"), QStringLiteral("C3"));
    }

    void dropDownsOfTheGrids()
    {
        // The classification drop-down stores the id and shows the name; empty clears it.
        in->AppForm->CompanyMaintainClick();
        TableModel* model = in->AppForm->DBGridCompany->tableModel();
        const int col = model->columnOfField(u"CompanyType");
        QVERIFY(model->flags(model->index(4, col)) & Qt::ItemIsEditable);
        company().moveTo(4);
        QVERIFY(model->setData(model->index(4, col), QStringLiteral("2")));
        company().post();
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 账号分类 from Company where 收款帐号 = 'E5'"))
                     .toString(),
                 QStringLiteral("2"));
        QCOMPARE(model->index(4, col).data().toString(), QStringLiteral("客户"));
        QVERIFY(model->setData(model->index(4, col), QString()));
        company().post();
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 账号分类 from Company where 收款帐号 = 'E5'"))
                     .toString(),
                 QString());
        const auto items = in->AppForm->DBGridCompany->comboItems(col);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(1).cells, (QStringList{"2", "客户"}));
        QCOMPARE(items.at(1).value.toString(), QStringLiteral("2"));

        // By keys, as the clerk uses it: typing the name finds it; the clear key empties.
        DBGrid* grid = in->AppForm->DBGridCompany;
        in->AppForm->show();
        QApplication::setActiveWindow(in->AppForm.get());
        grid->setFocus();
        company().moveTo(4);
        grid->setCurrentIndex(model->index(4, col));
        QTest::keyClick(grid, Qt::Key_F2);
        auto* combo = qobject_cast<LookupCombo*>(QApplication::focusWidget());
        QVERIFY(combo);
        QCOMPARE(combo->view()->model()->columnCount(), 2);
        QCOMPARE(combo->view()->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("类型"));
        QTest::sendKeyEvent(QTest::Click, combo, Qt::Key_unknown, QStringLiteral("客"),
                            Qt::NoModifier);
        QCOMPARE(combo->currentText(), QStringLiteral("客户"));
        QTest::keyClick(combo, Qt::Key_Return);
        company().post();
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 账号分类 from Company where 收款帐号 = 'E5'"))
                     .toString(),
                 QStringLiteral("2"));
        grid->setCurrentIndex(model->index(4, col));
        QTest::keyClick(grid, Qt::Key_F2);
        combo = qobject_cast<LookupCombo*>(QApplication::focusWidget());
        QVERIFY(combo);
        QTest::keyClick(combo, Qt::Key_Delete);
        QTest::keyClick(combo, Qt::Key_Return);
        company().post();
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select count(*) from Company where 收款帐号 "
                                                   "= 'E5' and 账号分类 = ''"))
                .toInt(),
            1);
        // The purpose drop-down lists the purposes.
        execSql(ws->path(), QStringLiteral("insert into Use(用途) values ('差旅费')"));
        dm().ATUse->requery();
        QCOMPARE(in->AppForm->DBGridPayment->comboItems(0).size(), 1);
    }

    // ---- sorting -------------------------------------------------------------------

    void titleClicksSort()
    {
        execSql(ws->path(),
                QStringLiteral("update Company set 账号分类 = '10' where 收款帐号 = 'A1'"));
        in->AppForm->CompanyMaintainClick();
        in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("CompanyType"));
        QCOMPARE(company().sortField(), QStringLiteral("账号分类"));
        QStringList order;
        for (int r = 0; r < company().rowCount(); ++r)
            order << company().textAt(r, company().fieldIndex(u"账号分类"));
        QCOMPARE(order, (QStringList{"", "1", "1", "1", "10"})); // as text: 10 before 2 would be
        in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("收款单位"));
        in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("收款单位"));
        QCOMPARE(company().sortField(), QStringLiteral("收款单位")); // still ascending, no toggle
        in->AppForm->DBGridSalaryTitleButtonClick(QStringLiteral("金额"));
        QCOMPARE(dm().ATSalary->sortField(), QStringLiteral("金额"));
    }

    // A sorted payee book keeps the order of what the database holds through a rename
    // typed into the grid, a new row, a deletion and another program's changes shown by
    // the navigator's refresh; the order is checked against the names the database
    // holds, sorted independently.
    void sortedBookFollowsEveryChange()
    {
        in->AppForm->show();
        QApplication::setActiveWindow(in->AppForm.get());
        in->AppForm->CompanyMaintainClick();
        DBGrid* grid = in->AppForm->DBGridCompany;
        const int nameField = company().fieldIndex(u"收款单位");
        const auto shown = [&] {
            QStringList rows;
            for (int r = 0; r < company().rowCount(); ++r)
                rows << company().textAt(r, nameField) + QLatin1Char('/') +
                            company().textAt(r, company().fieldIndex(u"收款银行"));
            return rows;
        };
        const auto expected = [&] {
            QStringList rows;
            for (const QVariantList& row : queryRows(
                     ws->path(), QStringLiteral("select 收款单位 || '/' || 收款银行 from Company "
                                                "order by 编号")))
                rows << row.first().toString();
            QCollator chinese{QLocale(QLocale::Chinese, QLocale::China)};
            std::stable_sort(rows.begin(), rows.end(), [&](const QString& a, const QString& b) {
                return chinese.compare(a.section(QLatin1Char('/'), 0, 0),
                                       b.section(QLatin1Char('/'), 0, 0)) < 0;
            });
            return rows;
        };
        // Sorted again from the orders kept: away to another column and back.
        const auto resort = [&] {
            in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("收款帐号"));
            in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("收款单位"));
        };
        // The clerk's way: click the cell, click it again to edit, type, Return.
        const auto typeName = [&](int row, const QString& name) {
            const QModelIndex cell =
                grid->model()->index(row, grid->tableModel()->columnOfField(u"收款单位"));
            static_cast<QAbstractItemView*>(grid)->scrollTo(cell);
            for (int i = 0; i < 2; ++i)
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                                  grid->visualRect(cell).center());
            auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            QVERIFY(edit);
            edit->selectAll();
            for (const QChar c : name)
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            QTest::keyClick(edit, Qt::Key_Return);
            company().checkBrowseMode();
        };

        in->AppForm->DBGridCompanyTitleButtonClick(QStringLiteral("收款单位"));
        QCOMPARE(shown(), expected()); // 丙 丁 甲 戊 乙 by their sounds
        typeName(0, QStringLiteral("庚公司"));
        resort();
        QCOMPARE(shown(), expected());

        company().last();
        in->AppForm->DBNavigatorCompany->click(DBNavigator::Insert);
        company().setValue(u"收款帐号", QStringLiteral("F6"));
        company().setValue(u"收款银行", QStringLiteral("招行"));
        typeName(company().currentRow(), QStringLiteral("阿公司"));
        resort();
        QCOMPARE(shown(), expected());

        company().moveTo(2);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        in->AppForm->DBNavigatorCompany->click(DBNavigator::Delete);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        resort();
        QCOMPARE(shown(), expected());

        // Another program renames one payee, changes another's bank, deletes one and adds
        // one; the refresh shows all of it, still sorted.
        execSql(ws->path(),
                QStringLiteral("update Company set 收款单位 = '乙方' where 收款帐号 = 'B2'"));
        execSql(ws->path(),
                QStringLiteral("update Company set 收款银行 = '浦发' where 收款帐号 = 'E5'"));
        execSql(ws->path(), QStringLiteral("delete from Company where 收款帐号 = 'F6'"));
        execSql(ws->path(), QStringLiteral("insert into Company(收款帐号, 收款单位, 收款银行) "
                                           "values ('G7', '丁二公司', '民生')"));
        in->AppForm->DBNavigatorCompany->click(DBNavigator::Refresh);
        QCOMPARE(shown(), expected());
        QCOMPARE(company().rowCount(), 5);
        resort();
        QCOMPARE(shown(), expected());
    }

    // Showing the payee book reads it afresh; nothing is read when nothing changed, but a
    // statement of this program's own connection, or another program's, is a change.
    void payeeBookPageShowsEveryChange()
    {
        const auto bankOf = [this](const char* account) {
            QVERIFY(company().locate(QStringLiteral("收款帐号"), {QString::fromLatin1(account)}));
        };
        in->AppForm->CompanyMaintainClick();
        company().moveTo(3);
        company().editValue(u"收款银行", QStringLiteral("邮储")); // stored as the page is shown
        in->AppForm->CompanyMaintainClick();
        QCOMPARE(company().currentRow(), 0);
        bankOf("D4");
        QCOMPARE(company().text(u"收款银行"), QStringLiteral("邮储"));

        dm().ACmd->setCommandText(
            QStringLiteral("update Company set 收款银行 = :b where 收款帐号 = 'A1'"));
        dm().ACmd->execute({QStringLiteral("光大")});
        in->AppForm->CompanyMaintainClick();
        bankOf("A1");
        QCOMPARE(company().text(u"收款银行"), QStringLiteral("光大"));

        execSql(ws->path(),
                QStringLiteral("update Company set 收款银行 = '华夏' where 收款帐号 = 'B2'"));
        in->AppForm->CompanyMaintainClick();
        bankOf("B2");
        QCOMPARE(company().text(u"收款银行"), QStringLiteral("华夏"));
        QCOMPARE(company().rowCount(), 5);
    }

    // ---- payee picker ----------------------------------------------------------------

    void pickerRemembersTheClassification()
    {
        TFrmSelCompany& picker = *in->FrmSelCompany;
        picker.FormShow();
        QCOMPARE(picker.ComboType->count(), 4);
        QCOMPARE(picker.ComboType->itemText(0), QStringLiteral("全部"));
        QCOMPARE(picker.ComboType->itemText(1), QStringLiteral("未归类"));
        QCOMPARE(picker.TypeIdList,
                 (QStringList{"0", "", "1", "2"})); // classes by name: 供应商, 客户
        QCOMPARE(picker.ComboType->currentIndex(), 0);
        QCOMPARE(company().recordCount(), 5);

        picker.ComboType->setCurrentIndex(2); // 供应商
        QCOMPARE(company().filterText(), QStringLiteral("账号分类='1'"));
        QCOMPARE(company().recordCount(), 3);
        picker.BtnOk->click();
        QCOMPARE(picker.result(), 1);
        QCOMPARE(picker.LastTypeId, QStringLiteral("1"));
        company().setFiltered(false);

        picker.FormShow(); // reopened: the same class, filtered again
        QCOMPARE(picker.ComboType->currentIndex(), 2);
        QCOMPARE(company().recordCount(), 3);
        picker.BtnCancel->click();
        QCOMPARE(picker.result(), 2);
        QCOMPARE(picker.LastTypeId, QStringLiteral("1")); // cancel keeps it

        // Renamed so that it sorts elsewhere: listed at its new place and still chosen.
        execSql(ws->path(),
                QStringLiteral("update CompanyType set type = '甲方' where type_id = 1"));
        picker.FormShow();
        QCOMPARE(picker.ComboType->currentText(), QStringLiteral("甲方"));

        // "未归类" lists the empty and the missing classification; its id is empty.
        picker.ComboType->setCurrentIndex(1);
        QCOMPARE(company().recordCount(), 1);
        picker.BtnOkClick();
        QVERIFY(picker.LastTypeId.isEmpty());
        picker.FormShow();
        QCOMPARE(picker.ComboType->currentIndex(), 0);

        // A deleted class falls back to "全部".
        picker.LastTypeId = QStringLiteral("99");
        picker.FormShow();
        QCOMPARE(picker.ComboType->currentIndex(), 0);
        QVERIFY(!company().isFiltered());
    }

    void pickerOnAnEmptyList()
    {
        TFrmSelCompany& picker = *in->FrmSelCompany;
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('空类')"));
        picker.FormShow();
        picker.ComboType->setCurrentIndex(picker.ComboType->findText(QStringLiteral("空类")));
        QCOMPARE(company().recordCount(), 0);
        picker.setResult(0);
        picker.DBGrid1DblClick(); // nothing happens
        QCOMPARE(picker.result(), 0);
        picker.BtnOk->click(); // "确认" still returns 1
        QCOMPARE(picker.result(), 1);
        company().setFiltered(false);
    }

    // ---- detail window -----------------------------------------------------------------

    void detailWindowFollowsTheFlags()
    {
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        w.show();
        pay().first(); // 否 / 否
        QVERIFY(w.RadioOtherCity->isChecked());
        QVERIFY(!w.DBEdit4->isHidden());
        QVERIFY(w.DBEdit4->isEnabled());
        QVERIFY(w.dess->isHidden());
        QCOMPARE(w.LookupComboAccount->currentText(), QStringLiteral("X"));
        QCOMPARE(w.DBEdit7->text(), QStringLiteral("1.00")); // the currency format
        pay().moveTo(1);                                     // 是 / 是
        QVERIFY(w.DBEdit4->isHidden());
        QVERIFY(w.Label4->isHidden());
        QVERIFY(!w.dess->isHidden());
        // 否 / 是: the place shows, disabled.
        w.RadioOtherCity->click();
        QCOMPARE(pay().text(u"同城交易"), QStringLiteral("否"));
        QVERIFY(!w.DBEdit4->isHidden());
        QVERIFY(!w.DBEdit4->isEnabled());
        QVERIFY(w.DBEdit2->isEnabled());
        pay().cancel();
        w.hide();
    }

    void detailWindowStepsAndStores()
    {
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        w.show();
        pay().moveTo(1);
        w.BtnNext->click(); // past the last: a new instruction
        QVERIFY(pay().isNewRow(pay().currentRow()));
        QCOMPARE(w.RadioSameCity->isChecked(), true); // its defaults
        QVERIFY(!w.BtnNext->isEnabled() || pay().eof());
        w.BtnPrevious->click(); // the untouched new one is discarded
        QVERIFY(!pay().isEditing());
        QCOMPARE(pay().rowCount(), 2);

        // "确定" with nothing pending does nothing.
        w.OKBtnClick();
        QVERIFY(MessageBox::takeShown().isEmpty());

        // An edit typed in the window and "关闭": discarded.
        pay().first();
        w.DBEdit9->setText(QStringLiteral("改"));
        emit w.DBEdit9->textEdited(QStringLiteral("改"));
        QCOMPARE(pay().state(), Table::State::Edit);
        w.CancelBtn->click();
        QVERIFY(!pay().isEditing());
        QCOMPARE(pay().text(u"备注"), QStringLiteral("备"));
        QVERIFY(w.isHidden());
        QVERIFY(!in->AppForm->ShowAddition1->isChecked());
    }

    void typedAccountFillsThePayee()
    {
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        w.show();
        pay().first();
        QApplication::setActiveWindow(&w);
        QLineEdit* account = w.LookupComboAccount->lineEdit();
        account->setFocus();
        account->selectAll();
        QTest::keyClicks(account, QStringLiteral("C3"));
        // Leaving the field closes it up. The list that opened while typing has the
        // keyboard then, as it would on the screen.
        QWidget* keys = account->completer() && account->completer()->popup()->isVisible()
                            ? account->completer()->popup()
                            : static_cast<QWidget*>(account);
        QTest::keyClick(keys, Qt::Key_Tab);
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("C3"));
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("丙公司"));
        QCOMPARE(pay().text(u"收款银行"), QStringLiteral("建行"));
        QCOMPARE(pay().text(u"汇入地点"), QStringLiteral("北京"));
        pay().cancel();
        w.hide();
    }

    void pickingAPayeeInTheWindow()
    {
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        w.show();
        pay().first();
        company().setSortField(QStringLiteral("收款单位"));
        Modal::setNextHandler([this](QDialog* d) {
            auto* picker = static_cast<TFrmSelCompany*>(d);
            picker->ComboType->setCurrentIndex(2); // 供应商, by name in pinyin order: 丙, 丁, 乙
            company().moveTo(1);
            picker->BtnOk->click();
            return picker->result();
        });
        w.BtnSelCompanyClick();
        QCOMPARE(pay().state(), Table::State::Edit);
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("D4"));
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("丁公司"));
        QCOMPARE(pay().text(u"金额"), QStringLiteral("1")); // untouched
        QVERIFY(!company().isFiltered());
        QCOMPARE(w.focusWidget(), w.DBEdit7);
        w.OKBtnClick(); // stores it (the rules run)
        QVERIFY(!pay().isEditing());
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select 收款帐号 from Payment where 编号 = 1"))
                .toString(),
            QStringLiteral("D4"));
        // Closing the window drops the payee book's sort order.
        w.close();
        QVERIFY(company().sortField().isEmpty());
    }
};

QTEST_MAIN(TestPaymentViews)
#include "tst_paymentviews.moc"
