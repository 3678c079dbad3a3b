// What the clerk types reaches the database, through real key and mouse events into the
// real editors, with every window of the program created as at start-up (the hidden
// lookup lists and pickers over the same tables included).
#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/messagebox.h"
#include "guifixture.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/selcompanytype.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestEditing : public QObject, GuiFixture
{
    Q_OBJECT

    Table& pay() { return *dm().ATPayment; }
    Table& company() { return *dm().ATCompany; }
    QVariant db(const QString& sql) { return querySingle(ws->path(), sql); }

    QModelIndex cell(DBGrid* grid, int row, const char16_t* field)
    {
        return grid->model()->index(row, grid->tableModel()->columnOfField(QStringView(field)));
    }
    void click(DBGrid* grid, const QModelIndex& index)
    {
        static_cast<QAbstractItemView*>(grid)->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    }
    // Keys as the clerk types them: each to whatever has the focus at that moment.
    static void type(const QString& text)
    {
        // Chinese characters arrive as key events carrying their text.
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClicks(QApplication::focusWidget(), QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
        }
    }
    static void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }
    // Text as a Chinese input method delivers it: no key events, a composition shown
    // under the cursor (the pinyin typed so far), then the characters chosen, each sent
    // to whatever has the focus at that moment, as the platform's input context does.
    static void compose(const QString& pinyin, const QString& chosen, QObject* to = nullptr)
    {
        QInputMethodEvent composing(pinyin, {});
        QApplication::sendEvent(to ? to : QApplication::focusObject(), &composing);
        QInputMethodEvent commit;
        commit.setCommitString(chosen);
        QApplication::sendEvent(to ? to : QApplication::focusObject(), &commit);
    }

    // The clerk's way into a cell of the current row: click it, click it again to edit.
    QLineEdit* openCell(DBGrid* grid, const QModelIndex& index)
    {
        click(grid, index);
        click(grid, index);
        return qobject_cast<QLineEdit*>(QApplication::focusWidget());
    }

private slots:
    void init()
    {
        newWorkspace();
        execSql(
            ws->path(),
            QStringLiteral("insert into Company(收款帐号, 收款单位, 收款银行, 汇入地点, 溯枫帐号) "
                           "values ('A1','甲公司','工行','上海','否'),"
                           "('C3','丙公司','建行','北京','否')"));
        execSql(ws->path(),
                QStringLiteral(
                    "insert into Payment(同城交易, 收款帐号, 溯枫帐号, 收款单位, 收款银行, "
                    "汇入地点, 金额, 大额实时, 用途, 备注, 用户编号) values "
                    "('否','A1000001','否','旧名','旧行','旧地',10000,'否','货款','备','1')"));
        startProgram();
        logIn();
        form().show();
        QApplication::setActiveWindow(&form());
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        MessageBox::takeShown();
    }

    void cleanup() { tearDown(); }

    // ↓ on the last row, the navigator's store button and closing the program all take
    // the text still in the open cell editor.
    void openEditorIsStoredByEveryWayOut()
    {
        DBGrid* grid = form().DBGridPayment;
        grid->setFocus();
        pay().last();
        QTest::keyClick(grid, Qt::Key_Down); // a new instruction
        QVERIFY(pay().state() == Table::State::Insert);
        QLineEdit* amount = openCell(grid, cell(grid, pay().currentRow(), u"金额"));
        QVERIFY(amount);
        QTest::keyClicks(amount, QStringLiteral("1500.5"));
        QTest::keyClick(amount, Qt::Key_Down);
        QCOMPARE(db(QStringLiteral("select count(*) from Payment")).toInt(), 2);
        QCOMPARE(db(QStringLiteral("select 金额 from Payment where 编号 = 2")).toLongLong(),
                 15005000LL);
        // Shown in the currency format; its editor holds the plain number.
        const QModelIndex stored = cell(grid, 1, u"金额");
        QCOMPARE(stored.data().toString(), QStringLiteral("1,500.50"));
        QCOMPARE(stored.data(Qt::EditRole).toString(), QStringLiteral("1500.5"));

        pay().first();
        QLineEdit* remark = openCell(grid, cell(grid, 0, u"备注"));
        QVERIFY(remark);
        remark->selectAll();
        type(QStringLiteral("加急"));
        QToolButton* store = form().DBNavigatorPayment->button(DBNavigator::Post);
        QVERIFY(store->isEnabled()); // the first key began editing the row
        store->click();
        QCOMPARE(db(QStringLiteral("select 备注 from Payment where 编号 = 1")).toString(),
                 QStringLiteral("加急"));

        form().SalaryClick();
        DBGrid* salary = form().DBGridSalary;
        salary->setFocus();
        QTest::keyClick(salary, Qt::Key_Down);
        QLineEdit* name =
            openCell(salary, cell(salary, in->DataModule2.ATSalary->currentRow(), u"姓名"));
        QVERIFY(name);
        type(QStringLiteral("王小明"));
        QVERIFY(form().close());
        QCOMPARE(db(QStringLiteral("select 姓名 from Salary")).toString(),
                 QStringLiteral("王小明"));
        for (const MessageBox::Shown& m : MessageBox::takeShown())
            QVERIFY2(m.icon != QMessageBox::Critical, qPrintable(m.text)); // nothing refused
    }

    // With fcitx or ibus, Chinese arrives as input-method events, not keys: into a cell
    // that is not yet being edited (the composition opens the editor) and into every
    // edit of the detail window, and it is stored, without the pinyin.
    void inputMethodTextReachesEveryCell()
    {
        struct Page
        {
            void (TAppForm::*show)();
            DBGrid* grid;
            DBNavigator* nav;
        };
        const QList<Page> pages = {
            {&TAppForm::PaymentAddClick, form().DBGridPayment, form().DBNavigatorPayment},
            {&TAppForm::CompanyMaintainClick, form().DBGridCompany, form().DBNavigatorCompany},
            {&TAppForm::SalaryClick, form().DBGridSalary, form().DBNavigatorSalary},
            {&TAppForm::DraweeClick, form().DBGridDrawee, form().DBNavigatorDrawee},
            {&TAppForm::CompanyTypeClick, form().DBGridCompanyType, form().DBNavigatorCompanyType},
            {&TAppForm::UseClick, form().DBGridUse, form().DBNavigatorUse}};
        int cells = 0;
        for (const Page& page : pages) {
            (form().*page.show)();
            DBGrid* grid = page.grid;
            Table* t = grid->table();
            grid->setFocus();
            if (t->rowCount() == 0)
                QTest::keyClick(grid, Qt::Key_Down); // a new row
            else
                t->first();
            QStringList typed;
            for (int c = 0; c < grid->model()->columnCount(); ++c) {
                const GridColumn& column = grid->tableModel()->column(c);
                const FieldDef& field = t->field(grid->tableModel()->fieldOf(c));
                const QModelIndex index = grid->model()->index(t->currentRow(), c);
                if (column.editor != GridColumn::Editor::Text || column.checkBox ||
                    field.kind != FieldDef::Kind::Stored || field.column.kind != ColumnKind::Text ||
                    field.column.width == 1 || !(grid->model()->flags(index) & Qt::ItemIsEditable))
                    continue;
                grid->setCurrentIndex(index);
                grid->setFocus();
                compose(QStringLiteral("zhong'wen"), QStringLiteral("中文"));
                QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                QVERIFY2(editor && editor->text().endsWith(QStringLiteral("中文")),
                         qPrintable(t->tableName() + QLatin1Char('.') + field.column.name));
                key(Qt::Key_Tab);
                typed << field.column.name;
            }
            QVERIFY2(page.nav->button(DBNavigator::Post)->isEnabled(), qPrintable(t->tableName()));
            page.nav->button(DBNavigator::Post)->click();
            for (const QString& name : typed) {
                const QString value =
                    db(QStringLiteral("select \"%1\" from \"%2\" order by rowid limit 1")
                           .arg(name, t->tableName()))
                        .toString();
                QVERIFY2(value.endsWith(QStringLiteral("中文")) && !value.contains(u'z'),
                         qPrintable(t->tableName() + QLatin1Char('.') + name + u'=' + value));
                ++cells;
            }
        }
        QVERIFY(cells >= 12);

        // A drop-down without typing (the payee's classification) searches by the
        // characters the input method gives, and the choice is stored.
        execSql(ws->path(),
                QStringLiteral("insert into CompanyType(type) values ('客户'), ('供应商')"));
        dm().ATCompanyType->requery();
        form().CompanyMaintainClick();
        DBGrid* payees = form().DBGridCompany;
        company().first();
        payees->setCurrentIndex(cell(payees, company().currentRow(), u"CompanyType"));
        payees->setFocus();
        compose(QStringLiteral("gong"), QStringLiteral("供"));
        auto* classification = qobject_cast<QComboBox*>(QApplication::focusWidget());
        QVERIFY(classification && classification->testAttribute(Qt::WA_InputMethodEnabled));
        QCOMPARE(classification->currentText(), QStringLiteral("供应商"));
        key(Qt::Key_Tab);
        form().DBNavigatorCompany->button(DBNavigator::Post)->click();
        QCOMPARE(db(QStringLiteral("select t.type from Company c join CompanyType t on t.type_id = "
                                   "c.账号分类 order by c.rowid limit 1"))
                     .toString(),
                 QStringLiteral("供应商"));

        form().PaymentAddClick();
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        QApplication::setActiveWindow(&w);
        pay().first();
        for (QLineEdit* edit : {w.LookupComboName->lineEdit(), w.DBEdit2, w.DBEdit4,
                                w.LookupComboPurpose->lineEdit(), w.DBEdit9}) {
            QVERIFY(edit->isEnabled() && edit->testAttribute(Qt::WA_InputMethodEnabled));
            edit->setFocus();
            edit->selectAll();
            compose(QStringLiteral("xin"), QStringLiteral("新"), edit);
            QCOMPARE(edit->text(), QStringLiteral("新"));
        }
        w.OKBtn->click();
        QCOMPARE(db(QStringLiteral("select 收款单位 || 收款银行 || 汇入地点 || 用途 || 备注 "
                                   "from Payment where 编号 = 1"))
                     .toString(),
                 QStringLiteral("新新新新新"));
        for (const MessageBox::Shown& m : MessageBox::takeShown())
            QVERIFY2(m.icon != QMessageBox::Critical, qPrintable(m.text));
    }

    // An account typed as blanks only (spaces, the full-width space of the Chinese input
    // methods) is stored as typed, but it is no account: the payee book is not offered it.
    void blankAccountIsNotOfferedToThePayeeBook()
    {
        DBGrid* grid = form().DBGridPayment;
        grid->setFocus();
        pay().last();
        QTest::keyClick(grid, Qt::Key_Down); // a new instruction
        QLineEdit* account = openCell(grid, cell(grid, pay().currentRow(), u"收款帐号"));
        QVERIFY(account);
        const QString blanks = QStringLiteral("  \u3000 ");
        type(blanks);
        QCOMPARE(account->text(), blanks);
        key(Qt::Key_Down);
        QCOMPARE(db(QStringLiteral("select 收款帐号 from Payment where 编号 = 2")).toString(),
                 blanks);
        const auto shown = MessageBox::takeShown();
        QVERIFY2(shown.isEmpty(), shown.isEmpty() ? "" : qPrintable(shown.first().text));
        QCOMPARE(db(QStringLiteral("select count(*) from Company")).toInt(), 2);
        QCOMPARE(db(QStringLiteral("select group_concat(收款帐号, ',') from Company")).toString(),
                 QStringLiteral("A1,C3"));
    }

    // Keys typed at once after a click go into the cell, never to a keyboard search that
    // jumps to a stored row starting with the same letter.
    void typingRightAfterAClick()
    {
        DBGrid* grid = form().DBGridPayment;
        grid->setFocus();
        pay().last();
        QTest::keyClick(grid, Qt::Key_Down);
        const QModelIndex account = cell(grid, pay().currentRow(), u"收款帐号");
        click(grid, account);
        type(QStringLiteral("A1000002"));
        key(Qt::Key_Return);
        click(grid, cell(grid, pay().currentRow(), u"收款单位"));
        click(grid, cell(grid, pay().currentRow(), u"收款单位")); // editor open at once
        type(QStringLiteral("新户"));
        key(Qt::Key_Down);
        QCOMPARE(
            db(QStringLiteral("select 收款帐号 || '/' || 收款单位 from Payment where 编号 = 2"))
                .toString(),
            QStringLiteral("A1000002/新户"));
        QCOMPARE(
            db(QStringLiteral("select 收款帐号 || '/' || 收款单位 from Payment where 编号 = 1"))
                .toString(),
            QStringLiteral("A1000001/旧名"));
    }

    // The detail window's fields hold what is typed; the value is checked when stored.
    void detailWindowKeepsWhatIsTyped()
    {
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        QApplication::setActiveWindow(&w);
        pay().first();
        w.DBEdit7->setFocus();
        w.DBEdit7->selectAll();
        QTest::keyClicks(w.DBEdit7, QStringLiteral("100."));
        QCOMPARE(w.DBEdit7->text(), QStringLiteral("100."));
        QTest::keyClicks(w.DBEdit7, QStringLiteral("05"));
        QCOMPARE(w.DBEdit7->text(), QStringLiteral("100.05"));
        w.DBEdit9->setFocus();
        w.DBEdit9->setCursorPosition(0);
        QTest::keyClicks(w.DBEdit9, QStringLiteral("XY"));
        QCOMPARE(w.DBEdit9->text(), QStringLiteral("XY备"));
        QVERIFY(MessageBox::takeShown().isEmpty()); // no box per keystroke
        w.OKBtn->click();
        QCOMPARE(
            db(QStringLiteral("select 金额 || '/' || 备注 from Payment where 编号 = 1")).toString(),
            QStringLiteral("1000500/XY备"));

        // A half-typed amount is refused when stored, and stays for the clerk to correct.
        w.DBEdit7->setFocus();
        w.DBEdit7->selectAll();
        QTest::keyClicks(w.DBEdit7, QStringLiteral("1,"));
        w.OKBtn->click();
        const auto shown = MessageBox::takeShown();
        QVERIFY(!shown.isEmpty());
        QVERIFY(shown.last().text.contains(QStringLiteral("1,")));
        QCOMPARE(w.DBEdit7->text(), QStringLiteral("1,"));
        QCOMPARE(db(QStringLiteral("select 金额 from Payment where 编号 = 1")).toLongLong(),
                 1000500LL);
        w.close(); // drops the pending edit
        QCOMPARE(w.DBEdit7->text(), QStringLiteral("100.05"));
    }

    // The payee page: dropping an untouched new row while the hidden lookup lists and
    // picker follow the same table.
    void droppingAnUntouchedNewPayeeRow()
    {
        form().CompanyMaintainClick();
        DBGrid* grid = form().DBGridCompany;
        form().DBNavigatorCompany->button(DBNavigator::Insert)->click();
        QVERIFY(company().state() == Table::State::Insert);
        click(grid, cell(grid, 1, u"收款单位"));
        QVERIFY(company().state() == Table::State::Browse);
        QCOMPARE(company().rowCount(), 2);
        form().DBNavigatorCompany->button(DBNavigator::Insert)->click();
        form().DBNavigatorCompany->button(DBNavigator::Cancel)->click();
        QVERIFY(company().state() == Table::State::Browse);
        QCOMPARE(company().rowCount(), 2);
        QCOMPARE(db(QStringLiteral("select count(*) from Company")).toInt(), 2);
    }

    // The detail window's account list gives the payee picked, whatever position a
    // pending new payee row takes in the payee book.
    void detailDropDownPicksThePayeeChosen()
    {
        form().CompanyMaintainClick();
        company().first();
        form().DBNavigatorCompany->button(DBNavigator::Insert)->click(); // before A1
        form().PaymentAddClick();
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        pay().first();
        TableComboBox* combo = w.LookupComboAccount;
        combo->showPopup();
        const int c3 = combo->findText(QStringLiteral("C3"));
        QVERIFY(c3 >= 0);
        QAbstractItemView* list = combo->view();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(c3, 0)).center());
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("C3"));
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("丙公司"));
        QCOMPARE(pay().text(u"收款银行"), QStringLiteral("建行"));
        pay().cancel();
    }

    // The detail window's account list opens as the clerk types, at the matching
    // accounts; choosing one fills the payee.
    void detailAccountListOpensWhileTyping()
    {
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        QApplication::setActiveWindow(&w);
        pay().first();
        QLineEdit* account = w.LookupComboAccount->lineEdit();
        account->setFocus();
        QTRY_VERIFY(account->hasFocus());
        QCOMPARE(w.LookupComboAccount->count(), 2); // filled before its button is pressed
        account->selectAll();
        type(QStringLiteral("c"));
        QCompleter* completer = account->completer();
        QVERIFY(completer && completer->popup()->isVisible());
        QCOMPARE(completer->completionCount(), 1);
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(pay().text(u"收款帐号"), QStringLiteral("C3"));
        QCOMPARE(pay().text(u"收款单位"), QStringLiteral("丙公司"));
        pay().cancel();
    }

    // Small things a clerk trips over.
    void windowDetails()
    {
        // After login the current cell is the first that takes input.
        DBGrid* grid = form().DBGridPayment;
        QCOMPARE(grid->currentIndex().column(), grid->tableModel()->columnOfField(u"同城交易"));
        // Hiding the detail window (with the main window, say) is not closing it.
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        in->PaymentAdditionDlg->hide();
        QVERIFY(form().ShowAddition1->isChecked());
        in->PaymentAdditionDlg->show();
        in->PaymentAdditionDlg->close();
        QVERIFY(!form().ShowAddition1->isChecked());
        QVERIFY(!form().ShowAddition1->isIconVisibleInMenu()); // its check mark shows
        // A double-click anywhere in the classification picker's list chooses.
        TSelCompanyType& picker = *in->SelCompanyType;
        picker.show();
        QWidget* list = picker.DBGrid1->viewport();
        QTest::mouseDClick(list, Qt::LeftButton, {}, QPoint(5, list->height() - 5));
        QCOMPARE(picker.result(), 1);
        QVERIFY(picker.isHidden());
    }

    // Closing with a row the rules refuse: store (try again), discard, or stay.
    void closingWithARefusedRow()
    {
        DBGrid* grid = form().DBGridPayment;
        grid->setFocus();
        pay().first();
        QLineEdit* place = openCell(grid, cell(grid, 0, u"汇入地点"));
        QVERIFY(place);
        place->selectAll();
        QTest::keyClick(place, Qt::Key_Delete); // another city needs a place
        MessageBox::setNextAnswer(QMessageBox::Cancel);
        QVERIFY(!form().close());
        QVERIFY(form().isVisible());
        QVERIFY(pay().isEditing());
        const auto asked = MessageBox::takeShown();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.first().text.contains(QStringLiteral("请输入汇入地点")));
        QVERIFY(asked.first().text.contains(QStringLiteral("放弃")));
        MessageBox::setNextAnswer(QMessageBox::Save); // refused again: asked again
        MessageBox::setNextAnswer(QMessageBox::Discard);
        QVERIFY(form().close());
        QCOMPARE(MessageBox::takeShown().size(), 2);
        QCOMPARE(db(QStringLiteral("select 汇入地点 from Payment where 编号 = 1")).toString(),
                 QStringLiteral("旧地"));
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
