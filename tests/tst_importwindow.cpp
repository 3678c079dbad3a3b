// The two import windows: their controls and defaults, the checks with their messages
// and focus, a run from start to end, and the payee window's progress.
#include "controls/messagebox.h"
#include "core/data/gbk.h"
#include "guifixture.h"
#include "windows/importwindows.h"
#include "windows/mainwindow.h"
#include "windows/salaryimportdlg.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestImportWindow : public QObject, GuiFixture
{
    Q_OBJECT

    QString writeFile(const char* name, const QByteArray& bytes)
    {
        return testutil::writeFile(ws->path(QString::fromLatin1(name)), bytes);
    }

private slots:
    void initTestCase() { MessageBox::enableTestMode(); }

    void init()
    {
        newWorkspace(false); // the program creates the database file
        startProgram();
        logIn();
    }

    void cleanup() { tearDown(); }

    void paymentWindowDefaults()
    {
        Timptransfer& w = *in->imptransfer;
        QCOMPARE(w.windowTitle(), QStringLiteral("导入支付指令数据"));
        QCOMPARE(w.ComboSeparator->currentText(), QStringLiteral("|"));
        QCOMPARE(w.ComboSeparator->itemText(2), QStringLiteral("\t<Tab>"));
        QCOMPARE(w.StartEdit->text(), QStringLiteral("2"));
        QCOMPARE(w.ComboYesNo->currentText(), QStringLiteral("是/否"));
        QCOMPARE(w.columnEdits.value(QStringLiteral("sfb"))->text(), QStringLiteral("2"));
        QCOMPARE(w.columnEdits.value(QStringLiteral("dess"))->text(), QStringLiteral("10"));
        QCOMPARE(w.columnEdits.value(QStringLiteral("yt"))->text(), QStringLiteral("8"));
        QVERIFY(w.BtnStart->isDefault());
        // Reached from the menu and the toolbar.
        int shown = 0;
        for (int i = 0; i < 2; ++i) {
            Modal::setNextHandler([&shown](QDialog* d) {
                shown += qobject_cast<Timptransfer*>(d) != nullptr;
                return 0;
            });
        }
        in->AppForm->N3->trigger();
        in->AppForm->ToolButton1->click();
        QCOMPARE(shown, 2);
    }

    void checksShowTheirMessageAndFocus()
    {
        Timptransfer& w = *in->imptransfer;
        w.show();
        w.ComboSeparator->setEditText(QString());
        w.BtnStartClick();
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, applicationTitle());
        QCOMPARE(shown.first().text, QStringLiteral("请输入一个分隔符"));
        w.ComboSeparator->setEditText(QStringLiteral("|"));
        w.EditFile->setText(ws->path(QStringLiteral("none.txt")));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("该文件不存在！"));
        w.EditFile->setText(writeFile("a.txt", QByteArray()));
        w.columnEdits.value(QStringLiteral("je"))->setText(QStringLiteral("x"));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("金额应填数字"));
        QCOMPARE(w.focusWidget(), w.columnEdits.value(QStringLiteral("je")));
        w.columnEdits.value(QStringLiteral("je"))->setText(QStringLiteral("7"));
        w.StartEdit->setText(QStringLiteral("1"));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("起始导入行号应大于1"));
        w.StartEdit->setText(QStringLiteral("2"));
        w.hide();
    }

    void paymentRun()
    {
        Timptransfer& w = *in->imptransfer;
        w.EditFile->setText(writeFile(
            "zf.txt",
            gbk("2|3\r\n"
                "310100100100|否|4410000123|东方示例公司|示例银行上海分行|上海|1500.5|货款||是\r\n"
                "310100100100|是|1210000456|西城样本厂|示例银行北京分行|北京|20000|工程款|二期|"
                "否\r\n")));
        w.BtnStartClick();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, QStringLiteral("已成功导入2个记录"));
        QCOMPARE(w.StatusLabel->text(), QStringLiteral("导入完成..."));
        QVERIFY(w.BtnClose->isEnabled());
        QCOMPARE(in->DataModule2.ATPayment->recordCount(), 2); // the grid shows them at once
    }

    // After an import the grid shows what the database holds, as read afresh, the first
    // row current; also when another program changed a payment meanwhile.
    void importShowsWhatTheDatabaseHolds()
    {
        Timptransfer& w = *in->imptransfer;
        Table& pay = *in->DataModule2.ATPayment;
        const auto shown = [&] {
            QStringList rows;
            for (int r = 0; r < pay.rowCount(); ++r)
                rows << pay.textAt(r, pay.fieldIndex(u"收款帐号")) + QLatin1Char('/') +
                            pay.textAt(r, pay.fieldIndex(u"收款单位"));
            return rows;
        };
        const auto held = [&] {
            QStringList rows;
            for (const QVariantList& row : queryRows(
                     ws->path(), QStringLiteral("select 收款帐号 || '/' || 收款单位 from Payment "
                                                "where 用户编号 = '1' order by 编号")))
                rows << row.first().toString();
            return rows;
        };
        w.EditFile->setText(writeFile("zf.txt", gbk("h\r\nP|否|A1|甲|行|地|1|货款||否\r\n"
                                                    "P|否|A2|乙|行|地|2|货款||否\r\n")));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(shown(), held());
        QCOMPARE(shown().size(), 2);
        pay.last();
        execSql(ws->path(),
                QStringLiteral("update Payment set 收款单位 = '丙' where 收款帐号 = 'A1'"));
        // The same file again: the clerk confirms the question.
        MessageBox::setNextAnswer(QMessageBox::Yes);
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().size(), 2);
        QCOMPARE(shown(), held());
        QCOMPARE(shown().first(), QStringLiteral("A1/丙"));
        QCOMPARE(pay.currentRow(), 0);
    }

    // How a run that does not finish shows: a refused line and an interruption as the
    // window's plain notices, anything else as the system's error report (stop icon).
    void runsThatStopShowAsNotices()
    {
        TFrmImportCompany& w = *in->FrmImportCompany;
        for (auto [edit, number] : {std::pair{"EditAccount", 1}, std::pair{"EditUnit", 2},
                                    std::pair{"EditBank", 3}, std::pair{"EditCompanyType", 4}})
            w.columnEdits.value(QString::fromLatin1(edit))->setText(QString::number(number));
        auto run = [&](const QByteArray& file) {
            w.EditFile->setText(writeFile("wl.txt", file));
            w.BtnStartClick();
            return MessageBox::takeShown();
        };
        auto stored = [this] {
            return querySingle(ws->path(), QStringLiteral("select count(*) from Company")).toInt();
        };

        auto shown = run(gbk("1|甲|银行\r\n2||银行\r\n"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::NoIcon);
        QCOMPARE(shown.first().title, applicationTitle());
        QCOMPARE(shown.first().text, QStringLiteral("第2行收款单位为空，导入中止！"));
        QCOMPARE(w.StatusLabel->text(), QStringLiteral("分析数据..."));
        QCOMPARE(stored(), 0);
        QVERIFY(w.BtnClose->isEnabled());

        execSql(ws->path(),
                QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Company WHEN NEW.收款帐号 "
                               "= '2' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        shown = run(gbk("1|甲|银行\r\n2|乙|银行\r\n3|丙|银行\r\n"));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0).icon, QMessageBox::NoIcon);
        QCOMPARE(shown.at(0).text, QStringLiteral("在导入第2行数据时出错，导入中断！"));
        QCOMPARE(shown.at(1).icon, QMessageBox::NoIcon);
        QCOMPARE(shown.at(1).text, QStringLiteral("在导入1个往来账号后中断"));
        QCOMPARE(w.StatusLabel->text(), QStringLiteral("导入数据库..."));
        QCOMPARE(stored(), 1);
        QVERIFY(w.BtnClose->isEnabled());

        // A classification the database will not create: the rows before it stay.
        execSql(ws->path(), QStringLiteral("CREATE TRIGGER noclass BEFORE INSERT ON CompanyType "
                                           "BEGIN SELECT RAISE(ABORT, 'no class'); END"));
        shown = run(gbk("4|丁|银行\r\n5|戊|银行|新类\r\n"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        QCOMPARE(shown.first().title, applicationTitle());
        QVERIFY2(shown.first().text.contains(QStringLiteral("no class")),
                 qPrintable(shown.first().text));
        QCOMPARE(stored(), 2);
        QVERIFY(w.BtnClose->isEnabled());
    }

    void salaryImportFromTheMenu();
    void payeeRunWithProgress()
    {
        TFrmImportCompany& w = *in->FrmImportCompany;
        QCOMPARE(w.windowTitle(), QStringLiteral("导入往来账号"));
        QCOMPARE(w.StartEdit->text(), QStringLiteral("1"));
        QVERIFY(w.columnEdits.value(QStringLiteral("EditAccount"))->text().isEmpty());
        w.EditFile->setText(writeFile(
            "wl.txt",
            gbk("甲|供应商|银行|1|是|北京||A\r\n乙||银行|2|否|||\r\n丙|供应商|银行|3|否|||\r\n")));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("收款账号不能为空值"));
        const QMap<QString, int> layout = {
            {"EditUnit", 1}, {"EditCompanyType", 2}, {"EditBank", 3}, {"EditAccount", 4},
            {"EditSf", 5},   {"EditPlace", 6},       {"EditMemo", 7}, {"EditNo", 8}};
        for (auto it = layout.cbegin(); it != layout.cend(); ++it)
            w.columnEdits.value(it.key())->setText(QString::number(it.value()));
        w.BtnStartClick();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("已成功导入3个往来账号"));
        QCOMPARE(w.StatusLabel->text(), QString());
        QCOMPARE(w.ProgressBar1->maximum(), 3);
        QCOMPARE(w.ProgressBar1->value(), 3);
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select count(*) from CompanyType")).toInt(), 1);
        // The payee page re-reads the book when chosen.
        in->AppForm->CompanyMaintainClick();
        QCOMPARE(in->DataModule2.ATCompany->recordCount(), 3);
    }
};

void TestImportWindow::salaryImportFromTheMenu()
{
    in->AppForm->SalaryClick();
    QString title;
    Modal::setNextHandler([&title](QDialog* d) {
        auto* dlg = static_cast<QFileDialog*>(d);
        title = dlg->windowTitle();
        dlg->selectFile(QStringLiteral(BANKPREP_TEST_DATA "/twosheets.xls"));
        return int(QDialog::Accepted);
    });
    Modal::setNextHandler([](QDialog* d) {
        auto* dlg = static_cast<TImportDlg*>(d);
        // Refilled with the titles of the active sheet, each preselecting column 1.
        if (dlg->CBCard->count() != 4 || dlg->CBCard->currentIndex() != 0 ||
            dlg->windowTitle() != QStringLiteral("数据导入对话框"))
            return 3;
        dlg->CBName->setCurrentIndex(1);
        dlg->CBCard->setCurrentIndex(2);
        dlg->CBAmount->setCurrentIndex(3);
        dlg->BitBtn1->click();
        return dlg->result();
    });
    in->AppForm->FileOpen1->trigger();
    QCOMPARE(title, QStringLiteral("请选择导入数据文件..."));
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.first().title, QStringLiteral("导入结果"));
    QCOMPARE(shown.first().text, QStringLiteral("共导入数据3条。"));
    QCOMPARE(shown.at(1).title, QStringLiteral("卡号提醒"));
    QCOMPARE(in->DataModule2.ATSalary->recordCount(), 3);

    // A file that is not a spreadsheet: a warning, nothing changed.
    Modal::setNextHandler([this](QDialog* d) {
        static_cast<QFileDialog*>(d)->selectFile(writeFile("not.xls", QByteArray("plain text")));
        return int(QDialog::Accepted);
    });
    in->AppForm->FileOpen1->trigger();
    const auto warned = MessageBox::takeShown();
    QCOMPARE(warned.size(), 1);
    QCOMPARE(warned.first().title, QStringLiteral("警告"));
    QCOMPARE(warned.first().text, QStringLiteral("文件打开失败。"));
    QCOMPARE(in->DataModule2.ATSalary->recordCount(), 3);
}

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
