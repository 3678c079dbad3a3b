// The export command in the desktop program: its dispatch, the payer-account and split
// dialogs with their checks, and the shared save dialog.
#include "controls/lookupcombo.h"
#include "controls/messagebox.h"
#include "core/data/gbk.h"
#include "guifixture.h"
#include "windows/exportcommand.h"
#include "windows/exportdialogs.h"
#include "windows/mainwindow.h"
#include "windows/safetywindows.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>

using namespace bankprep;
using namespace testutil;

namespace {

// The clerk picks a file name in the save dialog; the title is remembered.
void answerSave(const QString& path, QString* title = nullptr)
{
    Modal::setNextHandler([path, title](QDialog* d) {
        auto* dlg = static_cast<QFileDialog*>(d);
        if (title)
            *title = dlg->windowTitle();
        dlg->selectFile(path);
        return int(QDialog::Accepted);
    });
}

} // namespace

class TestExportWindow : public QObject, GuiFixture
{
    Q_OBJECT

    QString path(const char* name) const { return ws->path(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        newWorkspace();
        execSql(ws->path(), QStringLiteral("insert into Drawee(付款帐号, 用户编号) values "
                                           "('310100100100', '1'), ('6222', '1')"));
        execSql(ws->path(),
                QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, "
                               "收款银行, 汇入地点, 金额, 用途, "
                               "备注, 大额实时, 用户编号) values "
                               "('否','否','4410000123','东方示例公司','示例银行上海分行','上海',"
                               "15005000,'货款',NULL,'是','1'),"
                               "('否','是','1210000456','西城样本厂','示例银行北京分行','北京',"
                               "200000000,'工程款','二期','否','1')"));
        execSql(
            ws->path(),
            QStringLiteral(
                "insert into Salary(员工编号, 姓名, 卡号, 金额, 用户编号) values "
                "('1','甲','c1',10000,'1'),('2','乙','c2',20000,'1'),('3','丙','c3',NULL,'1')"));
        startProgram();
        logIn();
    }

    void cleanup() { tearDown(); }

    void paymentExportAsksForThePayerAccount()
    {
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TSelectPaymentDlg*>(d);
            // Nothing chosen at the first export: refused, the dialog stays.
            dlg->BitBtn1Click();
            if (dlg->DBLookupComboDrawee->count() != 2 ||
                dlg->DBText1->text() != QStringLiteral("1"))
                return 2;
            dlg->DBLookupComboDrawee->setCurrentIndex(0);
            dlg->BitBtn1Click();
            return dlg->result();
        });
        QString title;
        answerSave(path("zf.txt"), &title);
        const int row = in->DataModule2.ATPayment->currentRow();
        form().ExportPayment->trigger();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown.first().title, QStringLiteral("错误"));
        QCOMPARE(shown.first().text, QStringLiteral("请选择支付帐号"));
        // The last word before writing: count and total in figures and in capitals.
        QCOMPARE(shown.at(1).text,
                 QStringLiteral(
                     "即将导出支付指令2笔，合计金额21,500.50元（人民币贰万壹仟伍佰元伍角整）。"
                     "\n\n是否导出？"));
        QCOMPARE(shown.at(2).text,
                 QStringLiteral("已导出支付指令2笔，合计金额21,500.50元（人民币贰万"
                                "壹仟伍佰元伍角整），已读回校验无误。"));
        QCOMPARE(title, QStringLiteral("保存支付指令文件"));
        QCOMPARE(
            readFile(path("zf.txt")),
            gbk("2|21500.5\r\n"
                "310100100100|否|4410000123|东方示例公司|示例银行上海分行|上海|1500.5|货款||是\r\n"
                "310100100100|是|1210000456|西城样本厂|示例银行北京分行|北京|20000|工程款|二期|"
                "否\r\n"));
        QCOMPARE(in->DataModule2.ATPayment->currentRow(), row);

        // The choice is kept for the next export; Ctrl+S on the payment page exports too.
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TSelectPaymentDlg*>(d);
            if (dlg->payerAccount() != QStringLiteral("310100100100"))
                return 2;
            dlg->BitBtn1Click();
            return dlg->result();
        });
        answerSave(path("zf2.txt"));
        // The same instructions again: the duplicates window names them; exported anyway.
        QString reason;
        Modal::setNextHandler([&reason](QDialog* d) {
            auto* dlg = static_cast<TDuplicateDlg*>(d);
            reason = dlg->List->rowCount() == 2 ? dlg->List->item(0, 4)->text() : QString();
            dlg->BtnExport->click();
            return dlg->result();
        });
        form().FileSave1->trigger();
        QVERIFY2(reason.startsWith(QStringLiteral("已于")), qPrintable(reason));
        QCOMPARE(readFile(path("zf2.txt")), readFile(path("zf.txt")));
    }

    // A target that is not a regular file, or a file that cannot be written whole, is
    // reported in the desktop program too, and replaces nothing.
    void refusedTargetIsReported()
    {
        QVERIFY(::mkfifo(QFile::encodeName(path("pipe.txt")), 0644) == 0);
        answerSave(path("pipe.txt"));
        form().ExportCompany->trigger();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        QVERIFY(shown.first().text.contains(QStringLiteral("pipe.txt")));
        QVERIFY(QFileInfo(path("pipe.txt")).exists() && !QFileInfo(path("pipe.txt")).isFile());
    }

    void cancellingWritesNothing()
    {
        Modal::setNextHandler([](QDialog* d) {
            static_cast<TSelectPaymentDlg*>(d)->BitBtn2->click();
            return d->result();
        });
        form().TBSave->click();
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY(QDir(ws->path(QString())).entryList({QStringLiteral("*.txt")}).isEmpty());
    }

    // 文件 → 打印支付清单: the payer account asked as for the export, the preview drawn
    // from the report, and 保存为PDF… writing what the preview shows.
    void printedListFromTheFileMenu()
    {
        int pages = 0;
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TSelectPaymentDlg*>(d);
            dlg->DBLookupComboDrawee->setCurrentIndex(0);
            dlg->BitBtn1Click();
            return dlg->result();
        });
        Modal::setNextHandler([&](QDialog* d) {
            auto* preview = qobject_cast<QPrintPreviewDialog*>(d);
            auto* widget = preview ? preview->findChild<QPrintPreviewWidget*>() : nullptr;
            auto* save =
                preview ? preview->findChild<QAction*>(QStringLiteral("SavePdfAction")) : nullptr;
            if (!widget || !save)
                return int(QDialog::Rejected);
            widget->updatePreview();
            pages = widget->pageCount();
            answerSave(path("zf.pdf"));
            save->trigger();
            return int(QDialog::Rejected);
        });
        form().PrintPaymentsItem->trigger();
        QCOMPARE(pages, 1);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text,
                 QStringLiteral("已将支付清单保存为“%1”：共2笔，合计金额21,500.50元。")
                     .arg(path("zf.pdf")));
        const QString text = pdfText(path("zf.pdf"));
        for (const QString& expected :
             {QStringLiteral("付款帐号：310100100100"), QStringLiteral("西城样本厂"),
              QStringLiteral("共2笔，合计金额21,500.50元"),
              QStringLiteral("人民币大写：贰万壹仟伍佰元伍角整"), QStringLiteral("第1页，共1页")})
            QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral("\n") + text));

        // Ctrl+P prints the list of the page shown; an empty list is not printed.
        execSql(ws->path(), QStringLiteral("delete from Salary"));
        dm().ATSalary->requery();
        form().SalaryClick();
        form().show();
        QApplication::setActiveWindow(&form());
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        MessageBox::takeShown();
        QTest::keyClick(&form(), Qt::Key_P, Qt::ControlModifier);
        const auto refused = MessageBox::takeShown();
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().text, QStringLiteral("没有工资记录，无需打印。"));
    }

    void salaryExportSplits()
    {
        form().SalaryClick();
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TSplitSalaryDlg*>(d);
            if (dlg->recCount->text() != QStringLiteral("3"))
                return 2;
            dlg->recPerFile->setText(QStringLiteral("   "));
            dlg->BitBtn1Click();
            dlg->recPerFile->setText(QStringLiteral("1.5"));
            dlg->BitBtn1Click();
            dlg->recPerFile->setText(QStringLiteral(" 2 "));
            dlg->BitBtn1Click();
            return dlg->result();
        });
        QString title;
        answerSave(path("gz.txt"), &title);
        form().TBSave->click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 4);
        QCOMPARE(shown.at(0).text, QStringLiteral("请输入文件记录数"));
        QCOMPARE(shown.at(1).text, QStringLiteral("请输入有效记录数"));
        // The card numbers are named before the export, which goes on when confirmed.
        QVERIFY(shown.at(2).text.startsWith(
            QStringLiteral("即将导出工资3笔，合计金额3.00元（人民币叁元整），分为2个文件。")));
        QVERIFY(shown.at(2).text.contains(QStringLiteral("第1条（甲）：卡号“c1”不是16至19位数字")));
        QVERIFY(shown.at(2).text.contains(QStringLiteral("第3条（丙）：卡号“c3”不是16至19位数字")));
        QCOMPARE(title, QStringLiteral("保存工资文件"));
        const QByteArray header = gbk("编号,姓名,卡号,实发工资\r\n");
        QVERIFY(!QFile::exists(path("gz.txt")));
        QCOMPARE(readFile(path("gz.txt.1")), header + gbk("1,甲,c1,1\r\n2,乙,c2,2\r\n"));
        QCOMPARE(readFile(path("gz.txt.2")), header + gbk("3,丙,c3,0\r\n"));
        QCOMPARE(in->SplitSalaryDlg->recPerFile->text(), QStringLiteral(" 2 ")); // kept for the run
    }

    void payeeExportHasItsOwnTitle()
    {
        execSql(ws->path(),
                QStringLiteral(
                    "insert into Company(收款单位, 收款帐号, 溯枫帐号) values ('甲','1','否')"));
        form().CompanyMaintainClick();
        QString title;
        answerSave(path("wl.txt"), &title);
        form().TBSave->click();
        QCOMPARE(title, QStringLiteral("保存往来账号文件"));
        QCOMPARE(readFile(path("wl.txt")), gbk("甲|||1|否|||\r\n"));
    }

    void pagesWithoutAFileExportNothing()
    {
        for (auto click :
             {&TAppForm::DraweeClick, &TAppForm::CompanyTypeClick, &TAppForm::UseClick}) {
            (form().*click)();
            form().FileSave1Execute(form().TBSave);
            form().FileSave1->trigger();
        }
        QCOMPARE(Modal::unexpectedDialogs(), 0);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }
};

QTEST_MAIN(TestExportWindow)
#include "tst_exportwindow.moc"
