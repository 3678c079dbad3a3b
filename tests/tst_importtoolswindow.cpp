// The import tools as the clerk uses them: the preview under the settings, the question
// before a file is imported twice, saved profiles across a restart, the undo from the
// File menu, and the payroll mapping found again by its titles.
#include "controls/messagebox.h"
#include "core/data/gbk.h"
#include "guifixture.h"
#include "windows/importtools.h"
#include "windows/importwindows.h"
#include "windows/mainwindow.h"
#include "windows/safetywindows.h"
#include "windows/salaryimportdlg.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestImportToolsWindow : public QObject, GuiFixture
{
    Q_OBJECT

    QString writeFile(const char* name, const QByteArray& bytes)
    {
        return testutil::writeFile(ws->path(QString::fromLatin1(name)), bytes);
    }
    int payments() const
    {
        return querySingle(ws->path(), QStringLiteral("select count(*) from Payment")).toInt();
    }
    // Replaces an edit's text as the clerk does: select all, then type.
    static void retype(QWidget* edit, const QString& text)
    {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

private slots:
    void init()
    {
        newWorkspace(false);
        startProgram();
        logIn();
    }
    void cleanup() { tearDown(); }

    void previewShowsWhatStartImports()
    {
        Timptransfer& w = *in->imptransfer;
        w.show();
        QTest::keyClicks(w.EditFile,
                         writeFile("zf.txt", gbk("h\r\n"
                                                 "p|否|1001|东方公司|银行|上海|15.5|货款||是\r\n"
                                                 "p|是|1002|西城厂|银行|北京|x|货款||否\r\n")));
        QTest::mouseClick(w.BtnPreview, Qt::LeftButton);
        QTableWidget* grid = w.Preview->Grid;
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("东方公司"));
        QCOMPARE(grid->item(0, 6)->text(), QStringLiteral("是"));
        QCOMPARE(grid->item(1, 5)->toolTip(), QStringLiteral("第3行金额格式错误，导入中止！"));
        QVERIFY(w.Preview->Summary->text().contains(QStringLiteral("第3行金额格式错误")));

        // A setting typed into its edit refreshes the preview: the amount read from column 1.
        retype(w.columnEdits.value(QStringLiteral("je")), QStringLiteral("1"));
        QVERIFY(w.previewPending());
        QTRY_VERIFY(!w.previewPending());
        QCOMPARE(grid->item(1, 5)->toolTip(), QStringLiteral("第3行金额格式错误，导入中止！"));
        QCOMPARE(grid->item(0, 5)->toolTip(), QStringLiteral("第2行金额格式错误，导入中止！"));

        // 开始 right after a change that the preview does not show yet: the preview is
        // brought up to date and nothing is imported.
        retype(w.columnEdits.value(QStringLiteral("je")), QStringLiteral("7"));
        QVERIFY(w.previewPending());
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        QVERIFY(MessageBox::takeShown().first().text.contains(QStringLiteral("请核对")));
        QVERIFY(!w.previewPending());
        QCOMPARE(payments(), 0);

        // The file as the preview read it is changed on disk: refreshed again, not imported.
        writeFile("zf.txt", gbk("h\r\np|否|1001|东方公司|银行|上海|15.5|货款||是\r\n"));
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        QVERIFY(MessageBox::takeShown().first().text.contains(QStringLiteral("请核对")));
        QCOMPARE(grid->rowCount(), 1);
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("已成功导入1个记录"));
        QCOMPARE(payments(), 1);

        // The same file again: asked first, No by default.
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        const auto asked = MessageBox::takeShown();
        QCOMPARE(asked.first().title, QStringLiteral("重复导入"));
        QCOMPARE(asked.first().answer, QMessageBox::No);
        QCOMPARE(payments(), 1);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        QCOMPARE(MessageBox::takeShown().last().text, QStringLiteral("已成功导入1个记录"));
        QCOMPARE(payments(), 2);
        w.hide();
    }

    void profilesAreChosenAgainAfterARestart()
    {
        TFrmImportCompany& w = *in->FrmImportCompany;
        w.show();
        retype(w.ComboSeparator->lineEdit(), QStringLiteral(","));
        retype(w.columnEdits.value(QStringLiteral("EditAccount")), QStringLiteral("2"));
        retype(w.columnEdits.value(QStringLiteral("EditUnit")), QStringLiteral("1"));
        retype(w.columnEdits.value(QStringLiteral("EditBank")), QStringLiteral("3"));
        w.ComboEncoding->setCurrentIndex(2); // UTF-8
        Modal::setNextHandler([](QDialog* d) {
            auto* ask = qobject_cast<QInputDialog*>(d);
            if (!ask)
                return 0;
            ask->setTextValue(QStringLiteral("月度往来"));
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(w.Profiles->BtnSaveProfile, Qt::LeftButton);
        QCOMPARE(w.Profiles->chosen(), QStringLiteral("月度往来"));
        QTest::keyClicks(w.EditFile, writeFile("wl.txt", QByteArray("甲公司,1,银行\r\n")));
        QTest::mouseClick(w.BtnStart, Qt::LeftButton);
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("已成功导入1个往来账号"));
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 收款单位 from Company")).toString(),
                 QStringLiteral("甲公司"));
        w.hide();

        startProgram();
        logIn();
        TFrmImportCompany& again = *in->FrmImportCompany;
        QCOMPARE(again.ComboSeparator->currentText(), QStringLiteral("|"));
        again.show(); // the first opening starts from the profile used last
        QCOMPARE(again.Profiles->chosen(), QStringLiteral("月度往来"));
        QCOMPARE(again.ComboSeparator->currentText(), QStringLiteral(","));
        QCOMPARE(again.columnEdits.value(QStringLiteral("EditAccount"))->text(),
                 QStringLiteral("2"));
        QCOMPARE(again.ComboEncoding->currentText(), QStringLiteral("UTF-8"));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(again.Profiles->BtnDeleteProfile, Qt::LeftButton);
        QCOMPARE(again.Profiles->ComboProfile->count(), 1);
        again.hide();
    }

    void undoFromTheFileMenu()
    {
        Timptransfer& w = *in->imptransfer;
        w.EditFile->setText(writeFile("zf.txt", gbk("h\r\n"
                                                    "p|否|1001|东方公司|银行|上海|1|货款||否\r\n"
                                                    "p|否|1002|西城厂|银行|北京|2|货款||否\r\n")));
        w.BtnStartClick();
        MessageBox::takeShown();
        QCOMPARE(dm().ATPayment->recordCount(), 2);
        // Another program changes one imported row.
        execSql(ws->path(),
                QStringLiteral("update Payment set 用途 = '改过' where 收款帐号 = '1002'"));
        int listed = -1;
        Modal::setNextHandler([&listed](QDialog* d) {
            auto* dlg = qobject_cast<TUndoImportDlg*>(d);
            if (!dlg)
                return 0;
            listed = dlg->BtnKeepChanged->isHidden() ? -1 : dlg->ChangedList->rowCount();
            dlg->show(); // as the real window is, so that its buttons take clicks
            QTest::mouseClick(dlg->BtnKeepChanged, Qt::LeftButton);
            return dlg->result();
        });
        form().UndoImportItem->trigger();
        QCOMPARE(listed, 1);
        QCOMPARE(MessageBox::takeShown().first().text,
                 QStringLiteral("已撤销导入：删除记录1条（保留导入后修改过的1条）。"));
        QCOMPARE(payments(), 1);
        QCOMPARE(dm().ATPayment->recordCount(), 1); // the grid shows it at once
        form().UndoImportItem->trigger();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("没有可以撤销的导入。"));
    }

    void payrollMappingIsFoundByItsTitles()
    {
        form().SalaryClick();
        const auto importFile = [this](const char* name, const char* csv,
                                       std::function<void(TImportDlg*)> clerk) {
            const QString path = writeFile(name, QByteArray(csv));
            Modal::setNextHandler([path](QDialog* d) {
                static_cast<QFileDialog*>(d)->selectFile(path);
                return int(QDialog::Accepted);
            });
            Modal::setNextHandler([clerk](QDialog* d) {
                auto* dlg = qobject_cast<TImportDlg*>(d);
                if (!dlg) {
                    qWarning() << "unexpected dialog" << d->metaObject()->className()
                               << d->windowTitle();
                    return 0;
                }
                clerk(dlg);
                dlg->BitBtn1->click();
                return dlg->result();
            });
            form().FileOpen1->trigger();
            return MessageBox::takeShown();
        };
        const auto janShown =
            importFile("jan.csv", "工号,姓名,银行卡号,实发\n1,甲,6222,10\n", [](TImportDlg* dlg) {
                dlg->CBName->setCurrentIndex(1);
                dlg->CBCard->setCurrentIndex(2);
                dlg->CBAmount->setCurrentIndex(3);
            });
        QCOMPARE(janShown.first().text, QStringLiteral("共导入数据1条。"));
        QStringList chosen;
        int previewRows = -1;
        const auto shown = importFile(
            "feb.csv", "部门,实发,工号,银行卡号,姓名\n财务,20,2,6223,乙\n财务,30,3,6224,丙\n",
            [&](TImportDlg* dlg) {
                chosen = {dlg->CBAccount->currentText(), dlg->CBName->currentText(),
                          dlg->CBCard->currentText(), dlg->CBAmount->currentText()};
                QTest::mouseClick(dlg->BtnPreview, Qt::LeftButton);
                previewRows = dlg->Preview->Grid->rowCount();
            });
        QCOMPARE(chosen, (QStringList{"工号", "姓名", "银行卡号", "实发"}));
        QCOMPARE(previewRows, 2);
        QCOMPARE(shown.first().text, QStringLiteral("共导入数据2条。"));
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select group_concat(姓名 || 金额) from Salary"))
                .toString(),
            QStringLiteral("甲100000,乙200000,丙300000"));
    }
};

QTEST_MAIN(TestImportToolsWindow)
#include "tst_importtoolswindow.moc"
