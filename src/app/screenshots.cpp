// Takes the README's screenshots: the main window with sample rows, the login, detail,
// lookup, import and password windows, the backups, export journal and duplicates
// windows, an import's preview and its undo, on a scratch database. Run under xvfb-run by
// scripts/screenshots.sh.
#include "controls/dbgrid.h"
#include "controls/lookupdlg.h"
#include "controls/messagebox.h"
#include "core/data/backup.h"
#include "core/data/gbk.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/export/bankfiles.h"
#include "core/export/exportjournal.h"
#include "core/export/printreport.h"
#include "core/import/importprofile.h"
#include "core/import/salaryimport.h"
#include "windows/about.h"
#include "windows/application.h"
#include "windows/chgpwd.h"
#include "windows/importwindows.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/printcommand.h"
#include "windows/safetywindows.h"
#include "windows/salaryimportdlg.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace bankprep;

namespace {

QByteArray gbkBytes(const char* utf8)
{
    QByteArray out;
    GbkEncoder::instance().append(out, QString::fromUtf8(utf8));
    return out;
}

bool save(QWidget* w, const QString& path)
{
    w->show();
    w->raise();
    QTest::qWait(300);
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

void addPayment(Table& t, const char* same, const char* acct, const char* name, const char* bank,
                const char* place, const char* amount, const char* purpose)
{
    t.append();
    t.setValue(col::SameCity, QString::fromUtf8(same));
    t.setValue(col::PayeeAccount, QString::fromUtf8(acct));
    t.setValue(col::OwnBank, NoText);
    t.setValue(col::PayeeName, QString::fromUtf8(name));
    t.setValue(col::PayeeBank, QString::fromUtf8(bank));
    t.setValue(col::PayeePlace, QString::fromUtf8(place));
    t.setValue(col::Amount, QString::fromUtf8(amount));
    t.setValue(col::Urgent, NoText);
    t.setValue(col::Purpose, QString::fromUtf8(purpose));
    t.setValue(col::UserId, QStringLiteral("1"));
    t.post();
}

// The backups window, the export journal and the duplicates window, at fixed times so
// that the pictures come out the same on every run.
bool saveSafetyWindows(Instances& in, const QString& outDir)
{
    const QDateTime morning(QDate(2026, 12, 9), QTime(8, 30, 5));
    TDataModule2& dm = in.DataModule2;
    try {
        takeBackup(dm.ADOConn, BackupReason::Daily, morning);
        takeBackup(dm.ADOConn, BackupReason::ImportPayments, morning.addSecs(3600));
        takeBackup(dm.ADOConn, BackupReason::ClearSalary, morning.addSecs(5400));
        const QString payer = QStringLiteral("310100100100");
        // A folder of a fixed name: the journal shows the file's path.
        QDir exports(QDir::temp().filePath(QStringLiteral("bankprep-screenshots")));
        exports.removeRecursively();
        QDir().mkpath(exports.path());
        const QString file = exports.filePath(QStringLiteral("zf.txt"));
        BankExport first(ExportKind::Payments, {file}, {buildPaymentFile(*dm.ATPayment, payer)},
                         payer);
        first.write(dm.ADOConn, QStringLiteral("1"), morning.addSecs(7200));
        in.RestoreBackupDlg->refresh();
        in.ExportLogDlg->refresh();
        BankExport again(ExportKind::Payments, {file}, {buildPaymentFile(*dm.ATPayment, payer)},
                         payer);
        TDuplicateDlg duplicates(again.duplicates(dm.ADOConn, 1000, morning.addSecs(9000)),
                                 exportSummary(again));
        bool ok = save(in.RestoreBackupDlg, outDir + QStringLiteral("/backups.png"));
        in.RestoreBackupDlg->hide();
        ok = save(in.ExportLogDlg, outDir + QStringLiteral("/export-log.png")) && ok;
        in.ExportLogDlg->hide();
        ok = save(&duplicates, outDir + QStringLiteral("/duplicates.png")) && ok;
        exports.removeRecursively();
        return ok;
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return false;
    }
}

// The payroll column dialog with its preview: a sheet from HR whose columns are not in
// the order of the dialog, the remembered mapping found by the titles.
bool savePayrollPreview(Instances& in, const QDir& folder, const QString& outDir)
{
    const QString file = folder.filePath(QStringLiteral("gz.csv"));
    {
        QFile f(file);
        const QByteArray csv = QStringLiteral("部门,工号,姓名,银行卡号,应发,实发合计\n"
                                              "财务部,1001,张三,6222020200112233445,5200,4860.5\n"
                                              "财务部,1002,李四,6228480010987654321,4800,4475\n"
                                              "人事部,2001,王五,62170000,6100,5630.25\n"
                                              "人事部,2002,赵六,6217000000000000029,4300,四千\n")
                                   .toUtf8();
        if (!f.open(QIODevice::WriteOnly) || f.write(csv) != csv.size())
            return false;
    }
    const SalaryFile opened = openSalaryFile(file);
    rememberSalaryMapping(in.DataModule2.ADOConn,
                          {QStringLiteral("工号"), QStringLiteral("姓名"),
                           QStringLiteral("银行卡号"), QStringLiteral("实发合计")});
    TImportDlg& dlg = *in.ImportDlg;
    dlg.setSheet(&opened.sheet);
    dlg.setTitles(opened.titles);
    dlg.show();
    dlg.BtnPreview->click();
    const bool ok = save(&dlg, outDir + QStringLiteral("/import-payroll.png"));
    dlg.hide();
    dlg.setSheet(nullptr);
    return ok;
}

// The payment import window with its preview of a file with a refused amount, and the
// undo of an import with a row changed since (the batch at a fixed time).
bool saveImportTools(Instances& in, const QString& outDir)
{
    TDataModule2& dm = in.DataModule2;
    QDir folder(QDir::temp().filePath(QStringLiteral("bankprep-screenshots")));
    folder.removeRecursively();
    QDir().mkpath(folder.path());
    const QString file = folder.filePath(QStringLiteral("zf.txt"));
    const QString lines = QStringLiteral(
        "310100100100|3|19880.75\r\n"
        "310100100100|否|6222020200112233445|北京某某科技有限公司|工商银行北京分行|北京|15000.5|"
        "货款||否\r\n"
        "310100100100|是|4367420011223344|上海某某贸易有限公司|溯枫银行上海分行|上海|2,380|服务费|"
        "十二月|否\r\n"
        "310100100100|否|6228480010987654321|某某物业管理有限公司|农业银行杭州分行|杭州|864.25|"
        "物业费||是\r\n");
    QByteArray bytes;
    GbkEncoder::instance().append(bytes, lines);
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
    }
    Timptransfer& w = *in.imptransfer;
    w.EditFile->setText(QDir::toNativeSeparators(file));
    w.show();
    w.BtnPreviewClick();
    bool ok = save(&w, outDir + QStringLiteral("/import-preview.png"));
    w.hide();
    try {
        bytes.replace(gbkBytes("2,380"), gbkBytes("2380"));
        ImportForm form = defaultImportForm(paymentImport());
        form.file = file;
        importPayments(dm, bytes, checkImportForm(form, paymentImport()), nullptr, {file, {}});
        dm.ADOConn.exec(QStringLiteral("UPDATE ImportBatch SET 时间 = '2026-12-09 10:15:00'"));
        dm.ADOConn.exec(QStringLiteral(
            "UPDATE Payment SET 金额 = 25000000 WHERE 收款帐号 = '4367420011223344'"));
        dm.ATPayment->requery();
        if (in.UndoImportDlg->prepare())
            ok = save(in.UndoImportDlg, outDir + QStringLiteral("/undo-import.png")) && ok;
        in.UndoImportDlg->hide();
        ok = savePayrollPreview(in, folder, outDir) && ok;
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        ok = false;
    }
    folder.removeRecursively();
    return ok;
}

// The payment list for signature in the print preview, on a fixed date.
bool savePrintPreview(Instances& in, const QString& outDir)
{
    bool ok = false;
    Modal::setNextHandler([&](QDialog* d) {
        d->resize(1000, 720);
        if (auto* preview = d->findChild<QPrintPreviewWidget*>()) {
            preview->updatePreview();
            preview->fitToWidth();
        }
        ok = save(d, outDir + QStringLiteral("/print-preview.png"));
        return int(QDialog::Rejected);
    });
    try {
        in.printCommand->preview(paymentReport(*in.DataModule2.ATPayment,
                                               QStringLiteral("310100100100"), QDate(2026, 12, 9)));
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return false;
    }
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    BankprepApplication app(argc, argv);
    const QString outDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(outDir);
    QTemporaryDir scratch;
    Instances in;
    try {
        in.create(scratch.filePath(QStringLiteral("data.db")));
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    in.AppForm->setLoginOnFirstShow(false);

    bool ok = save(in.PasswordDlg, outDir + QStringLiteral("/login.png"));
    in.PasswordDlg->hide();

    Modal::setNextHandler([](QDialog* d) {
        auto* dlg = static_cast<TPasswordDlg*>(d);
        dlg->Password->setText(QString());
        dlg->OKBtnClick();
        return dlg->result();
    });
    in.AppForm->LoginClick();

    Table& p = *in.DataModule2.ATPayment;
    try {
        addPayment(p, "是", "6222020200112233445", "北京某某科技有限公司", "", "", "15000.5",
                   "货款");
        addPayment(p, "否", "4367420011223344", "上海某某贸易有限公司", "建设银行上海分行", "上海",
                   "2380", "服务费");
        addPayment(p, "是", "6228480010987654321", "某某物业管理有限公司", "", "", "864.25",
                   "物业费");
        p.first();
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    ok = save(in.AppForm.get(), outDir + QStringLiteral("/main.png")) && ok;

    // The detail window beside the grid, and the account lookup dialog.
    p.moveTo(1);
    ok = save(in.PaymentAdditionDlg, outDir + QStringLiteral("/detail.png")) && ok;
    in.PaymentAdditionDlg->hide();
    {
        Table& c = *in.DataModule2.ATCompany;
        for (const auto& [acct, name] : {std::pair{"6222020200112233445", "北京某某科技有限公司"},
                                         std::pair{"4367420011223344", "上海某某贸易有限公司"}}) {
            c.append();
            c.setValue(col::PayeeAccount, QString::fromUtf8(acct));
            c.setValue(col::PayeeName, QString::fromUtf8(name));
            c.setValue(col::OwnBank, NoText);
            c.post();
        }
    }
    ok = save(in.AppForm->LookupDlgAccount, outDir + QStringLiteral("/lookup.png")) && ok;
    in.AppForm->LookupDlgAccount->hide();

    ok = save(in.FrmImportCompany, outDir + QStringLiteral("/import-payees.png")) && ok;
    in.FrmImportCompany->hide();

    in.ChgPwdDlg->OldPwd->setText(QStringLiteral("old"));
    ok = save(in.ChgPwdDlg, outDir + QStringLiteral("/password.png")) && ok;
    in.ChgPwdDlg->hide();
    ok = save(in.AboutBox, outDir + QStringLiteral("/about.png")) && ok;
    in.AboutBox->hide();
    ok = saveSafetyWindows(in, outDir) && ok;
    ok = savePrintPreview(in, outDir) && ok;
    ok = saveImportTools(in, outDir) && ok;
    return ok ? 0 : 1;
}
