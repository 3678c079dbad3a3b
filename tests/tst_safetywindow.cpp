// The clerk's safety net in the desktop program: the backup before a clear and its
// restore from 文件 → 恢复备份…, the offer of a backup when data.db is damaged at
// start-up, the duplicates window and the export journal, the amount in capitals.
#include "controls/lookupcombo.h"
#include "controls/messagebox.h"
#include "core/data/backup.h"
#include "core/data/connection.h"
#include "guifixture.h"
#include "windows/exportcommand.h"
#include "windows/exportdialogs.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/safetywindows.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestSafetyWindow : public QObject, GuiFixture
{
    Q_OBJECT

    QString path(const char* name) const { return ws->path(QString::fromLatin1(name)); }
    qint64 count(const char* sql) const
    {
        return querySingle(ws->path(), QString::fromUtf8(sql)).toLongLong();
    }

    void exportPayments(const std::function<int(QDialog*)>& duplicates = {})
    {
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TSelectPaymentDlg*>(d);
            dlg->DBLookupComboDrawee->setCurrentIndex(0);
            dlg->BitBtn1Click();
            return dlg->result();
        });
        Modal::setNextHandler([this](QDialog* d) {
            static_cast<QFileDialog*>(d)->selectFile(path("zf.txt"));
            return int(QDialog::Accepted);
        });
        if (duplicates)
            Modal::setNextHandler(duplicates);
        form().ExportPayment->trigger();
    }

private slots:
    void init()
    {
        newWorkspace();
        execSql(ws->path(), QStringLiteral("insert into Drawee(付款帐号, 用户编号) values "
                                           "('310100100100', '1')"));
        execSql(
            ws->path(),
            QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, 收款银行, "
                           "汇入地点, 金额, 用途, 大额实时, 用户编号) values "
                           "('否','否','4410000123','东方示例公司','示例银行','上海',15005000,"
                           "'货款','否','1'),"
                           "('否','否','1210000456','西城样本厂','示例银行','北京',200000000,"
                           "'工程款','否','1')"));
        startProgram();
        logIn();
    }

    void cleanup() { tearDown(); }

    void clearIsBackedUpAndRestoredFromTheWindow()
    {
        // The day's first start takes a backup; a second start that day does not.
        in->startUp();
        in->startUp();
        QCOMPARE(listBackups(ws->path()).size(), 1);
        QCOMPARE(listBackups(ws->path()).first().reason, QStringLiteral("daily"));

        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().NewPayment->trigger();
        QCOMPARE(count("select count(*) from Payment"), 0);
        const QList<BackupInfo> after = listBackups(ws->path());
        QCOMPARE(after.size(), 2);
        QCOMPARE(after.first().reasonText(), QStringLiteral("清空支付指令前"));
        QCOMPARE(after.first().payments, 2);
        MessageBox::takeShown();

        // 文件 → 恢复备份…: the newest (the one before the clear) is selected.
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TRestoreBackupDlg*>(d);
            if (dlg->BackupList->rowCount() != 2 ||
                dlg->BackupList->item(0, 1)->text() != QStringLiteral("清空支付指令前"))
                return 0;
            dlg->BtnRestore->click();
            return 1;
        });
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().RestoreItem->trigger();
        QCOMPARE(count("select count(*) from Payment"), 2);
        // The views read everything again: the grid shows the instructions.
        QCOMPARE(dm().ATPayment->recordCount(), 2);
        QCOMPARE(listBackups(ws->path()).first().reason, QStringLiteral("before-restore"));
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown.last().text.startsWith(QStringLiteral("已恢复")));
    }

    void olderBackupIsBroughtUpToDate()
    {
        // A copy of a database from before the large-value flag, put among the backups.
        const QString old = backupFolder(ws->path()) +
                            QStringLiteral("/data-20251201-120000-000-manual-P1-C0-S0.db");
        QVERIFY(QDir().mkpath(backupFolder(ws->path())));
        QVERIFY(QFile::copy(ws->path(), old));
        execSql(old, QStringLiteral("alter table Payment drop column 大额实时"));
        execSql(old, QStringLiteral("delete from Payment where 收款帐号 = '1210000456'"));
        execSql(old, QStringLiteral("pragma journal_mode=delete"));
        Modal::setNextHandler([](QDialog* d) {
            auto* dlg = static_cast<TRestoreBackupDlg*>(d);
            dlg->BackupList->selectRow(0);
            dlg->BtnRestore->click();
            return 1;
        });
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().RestoreItem->trigger();
        QCOMPARE(MessageBox::takeShown().last().title, QStringLiteral("恢复备份"));
        QCOMPARE(dm().ATPayment->recordCount(), 1);
        QCOMPARE(dm().ATPayment->text(u"大额实时"), QStringLiteral("否"));
    }

    void backupFailureAsksWhetherToGoOn()
    {
        // A file where the backups folder belongs: no backup can be written.
        QFile blocker(path("backups"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        MessageBox::setNextAnswer(QMessageBox::Yes); // clear the list?
        MessageBox::setNextAnswer(QMessageBox::No);  // without a backup?
        form().NewPayment->trigger();
        QCOMPARE(count("select count(*) from Payment"), 2);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown.at(1).text.startsWith(QStringLiteral("操作前未能备份数据库")),
                 qPrintable(shown.at(1).text));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form().NewPayment->trigger();
        QCOMPARE(count("select count(*) from Payment"), 0);
        MessageBox::takeShown();
    }

    void duplicatesWindowAndJournal()
    {
        execSql(ws->path(),
                QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, "
                               "收款单位, 收款银行, 汇入地点, 金额, 用途, 大额实时, "
                               "用户编号) values ('否','否','4410000123','东方示例公司',"
                               "'示例银行','上海',15005000,'货款','否','1')"));
        dm().ATPayment->requery();
        // The clerk cancels in the duplicates window: nothing is written.
        int listed = -1;
        exportPayments([&listed](QDialog* d) {
            auto* dlg = static_cast<TDuplicateDlg*>(d);
            listed = dlg->List->rowCount();
            dlg->BtnCancel->click();
            return dlg->result();
        });
        QCOMPARE(listed, 2);
        QVERIFY(!QFile::exists(path("zf.txt")));
        QVERIFY(MessageBox::takeShown().isEmpty());

        exportPayments([](QDialog* d) {
            auto* dlg = static_cast<TDuplicateDlg*>(d);
            dlg->BtnExport->click();
            return dlg->result();
        });
        QVERIFY(readFile(path("zf.txt")).startsWith("3|"));
        QVERIFY(MessageBox::takeShown().last().text.contains(QStringLiteral("已读回校验无误")));

        // 文件 → 导出记录: the file checks against its entry until it is changed.
        QFile f(path("zf.txt"));
        QString verdict;
        const auto checkInWindow = [&] {
            Modal::setNextHandler([](QDialog* d) {
                auto* dlg = static_cast<TExportLogDlg*>(d);
                if (dlg->LogList->rowCount() != 1)
                    return 0;
                dlg->BtnVerify->click();
                return 1;
            });
            form().ExportLogItem->trigger();
            const auto shown = MessageBox::takeShown();
            verdict = shown.isEmpty() ? QString() : shown.first().text;
        };
        checkInWindow();
        QVERIFY2(verdict.contains(QStringLiteral("导出后未被修改")), qPrintable(verdict));
        QVERIFY(f.open(QIODevice::Append));
        f.write("x");
        f.close();
        checkInWindow();
        QVERIFY2(verdict.contains(QStringLiteral("导出后已被修改")), qPrintable(verdict));
    }

    void detailWindowShowsTheAmountInCapitals()
    {
        form().ShowAddition1->setChecked(true);
        form().ShowAddition1Execute();
        TPaymentAdditionDlg& w = *in->PaymentAdditionDlg;
        QApplication::setActiveWindow(&w);
        dm().ATPayment->first();
        QCOMPARE(w.LabelCapitals->text(), QStringLiteral("人民币壹仟伍佰元伍角整"));
        w.DBEdit7->setFocus();
        w.DBEdit7->selectAll();
        QTest::keyClicks(w.DBEdit7, QStringLiteral("100000010.01"));
        QCOMPARE(w.LabelCapitals->text(), QStringLiteral("人民币壹亿零壹拾元零壹分"));
        QTest::keyClicks(w.DBEdit7, QStringLiteral("x"));
        QCOMPARE(w.LabelCapitals->text(), QString());
        w.CancelBtn->click();
    }

    void damagedDatabaseOffersTheNewestSoundBackup()
    {
        in.reset();
        {
            Connection c;
            c.open(ws->path());
            takeBackup(c, BackupReason::Manual);
        }
        // The header and first page overwritten: SQLite no longer knows the file.
        QFile f(ws->path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(4096, '\x5a'));
        f.close();
        const QByteArray damaged = readFile(ws->path());

        Modal::setNextHandler([](QDialog* d) {
            auto* login = static_cast<TPasswordDlg*>(d);
            login->OKBtnClick();
            return login->result();
        });
        bool started = false;
        const int status = runDesktopProgram(*qApp, ws->path(), [&](Instances&) {
            started = true;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
        });
        QCOMPARE(status, 0);
        QVERIFY(started);
        const auto shown = MessageBox::takeShown();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().title, QStringLiteral("数据库已损坏"));
        // The damaged file is kept, byte for byte, under another name.
        const QStringList aside =
            QDir(ws->path(QString())).entryList({QStringLiteral("data.db.damaged-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(ws->path(aside.first())), damaged);
        QCOMPARE(count("select count(*) from Payment"), 2);
    }
};

QTEST_MAIN(TestSafetyWindow)
#include "tst_safetywindow.moc"
