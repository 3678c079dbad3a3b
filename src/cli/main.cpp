// bankprep-cli: the desktop program's jobs from a shell, for clerks who automate their
// daily batch. It logs in as user "1" and writes exactly what the desktop program
// writes for that user. Exit status: 0 done, 1 refused, 2 usage or login error.
#include "cli/cli.h"
#include "cli/importcommands.h"
#include "cli/printcommands.h"

#include "core/data/backup.h"
#include "core/data/datamodule.h"
#include "core/data/instancelock.h"
#include "core/data/names.h"
#include "core/export/bankfiles.h"
#include "core/export/exportjournal.h"
#include "core/import/salaryimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <csignal>
#include <exception>
#include <memory>
#include <optional>

using namespace bankprep;
using namespace bankprep::cli;

namespace {

const char* const kHelp =
    "用法：bankprep-cli [--db 文件] 命令 [选项]\n"
    "\n"
    "以用户“1”登录（密码取自环境变量 BANKPREP_PASSWORD；未设置且在终端中运行时会提示输入），\n"
    "生成与桌面程序完全相同的银行文件。\n"
    "\n"
    "全局选项：\n"
    "  --db 文件                 数据库文件，默认为当前目录下的 data.db（必须已存在）\n"
    "  --help                    显示本说明\n"
    "\n"
    "命令：\n"
    "  export-payments --payer 帐号 -o 文件 [--allow-duplicates]\n"
    "                            导出支付指令文件；帐号必须是当前用户的付款帐号。本批中收款帐号和\n"
    "                            金额相同的指令、或10天内已导出过的，会被列出并拒绝导出，\n"
    "                            除非给出 --allow-duplicates\n"
    "  export-salary -o 文件 [--rows-per-file N]\n"
    "                            导出工资文件；N 为每文件记录数，超过时拆分为 文件.1、文件.2 ……\n"
    "  export-payees -o 文件      导出往来账号文件（全部往来帐户）\n"
    "  import-payments 文件 [--sep S] [--start N] [--yesno T] [--encoding E] [--col 名称=N]...\n"
    "                [--profile 方案] [--allow-same-file]\n"
    "                            导入支付指令；名称为 sfb skzh skdw skyh hrdd je dess yt bz，\n"
    "                            默认分隔符“|”、起始行 2、标志“是/否”、列 2 至 10（与导入窗口\n"
    "                            相同）；--sep tab 表示制表符\n"
    "  import-payees 文件 [--sep S] [--start N] [--yesno T] [--encoding E] --col account=N\n"
    "                --col unit=N --col bank=N [--col place=N] [--col memo=N] [--col type=N]\n"
    "                [--col sf=N] [--col no=N] [--profile 方案] [--allow-same-file]\n"
    "                            导入往来账号；默认分隔符“|”、起始行 1、标志“是/否”\n"
    "  import-salary 文件 [--col 编号=N] [--col 姓名=N] [--col 卡号=N] [--col 实发工资=N]\n"
    "                [--profile 方案] [--allow-same-file]\n"
    "                            从 .xls、.xlsx 或 .csv 文件导入工资表；N 为列号（从 1 起，\n"
    "                            默认 1）\n"
    "  import-log                列出导入记录：编号、时间、类型、笔数、文件、SHA-256 和状态\n"
    "                            （已撤销、可撤销或不能撤销）\n"
    "  undo-import [编号] [--keep-changed | --remove-changed]\n"
    "                            撤销一次导入（默认为当前用户最近一次可撤销的），只删除该次\n"
    "                            导入的记录；导入后被修改过的记录会被列出并拒绝撤销，除非给出\n"
    "                            --keep-changed（保留它们）或 --remove-changed（一并删除）\n"
    "  backup                    立即备份数据库（备份在数据库所在目录的 backups 文件夹中）\n"
    "  list-backups              列出备份：时间、原因、支付指令/往来帐户/工资的记录数\n"
    "  restore 文件              用备份替换数据库的全部内容（先备份当前数据）；\n"
    "                            桌面程序正在使用该数据库时拒绝\n"
    "  export-log                列出导出记录：每个导出的银行文件的时间、类型、笔数、合计和 "
    "SHA-256\n"
    "  verify 文件               检查文件是否与其导出记录一致（导出后是否被修改）\n"
    "  print-payments --payer 帐号 -o 文件.pdf\n"
    "                            把 export-payments 会导出的支付指令打印为供签字的支付清单\n"
    "                            （PDF：付款帐号、日期、每笔指令、笔数、合计及人民币大写、\n"
    "                            制单/复核/审批签字栏）\n"
    "  print-salary -o 文件.pdf   把工资表打印为供签字的 PDF\n"
    "\n"
    "导入选项：\n"
    "  --encoding auto|gbk|utf-8 文本文件的编码，默认 auto（有 UTF-8 标记、或是含中文的有效\n"
    "                            UTF-8 时按 UTF-8，否则按 GBK）\n"
    "  --profile 方案            使用桌面程序中保存的导入方案；命令行上另给的选项优先；工资表\n"
    "                            的方案按列标题找列，文件中没有该标题时拒绝导入\n"
    "  --allow-same-file         内容完全相同的文件已导入过同一列表时仍然导入（否则拒绝）\n"
    "\n"
    "每次导入、撤销导入和清空前都会自动备份数据库；导出的每个文件都会读回校验并记入导出记录；\n"
    "每次导入都记入导入记录，可以撤销。\n"
    "\n"
    "退出状态：0 成功；1 操作被拒绝（原因见标准错误输出）；2 用法错误或登录失败。\n";

// What an export wrote, on standard output.
void reportExported(const BankExport& e)
{
    QTextStream(stdout) << exportedMessage(e) << "\n";
}

int exportPayments(const QString& db, const QStringList& args)
{
    const Options o(args, {QStringLiteral("--payer"), QStringLiteral("-o")},
                    {QStringLiteral("--allow-duplicates")});
    const QString payer = o.required(QStringLiteral("--payer"));
    const QString out = o.required(QStringLiteral("-o"));
    TDataModule2 dm;
    login(dm, db, {tbl::Drawee, tbl::Payment});
    requirePayerAccount(dm, payer);
    BankExport exported(ExportKind::Payments, {out}, {buildPaymentFile(*dm.ATPayment, payer)},
                        payer);
    const BankExport::Duplicates duplicates = o.flag(QStringLiteral("--allow-duplicates"))
                                                  ? BankExport::Duplicates()
                                                  : exported.duplicates(dm.ADOConn, 20);
    if (duplicates.count > 0) {
        err() << QStringLiteral("以下%1笔支付指令可能重复，未导出任何文件（确认无误后可加 "
                                "--allow-duplicates 导出）：")
                     .arg(duplicates.count)
              << "\n";
        for (const QString& line : duplicateLines(duplicates))
            err() << line << "\n";
        return kRefused;
    }
    exported.write(dm.ADOConn, dm.CurrentUser);
    reportExported(exported);
    return kOk;
}

int exportSalary(const QString& db, const QStringList& args)
{
    const Options o(args, {QStringLiteral("-o"), QStringLiteral("--rows-per-file")});
    const QString out = o.required(QStringLiteral("-o"));
    int rowsPerFile = 0;
    if (const auto n = o.value(QStringLiteral("--rows-per-file"))) {
        const QString t = n->trimmed();
        if (t.isEmpty())
            throw Failure{kUsage, QStringLiteral("请输入文件记录数")};
        bool ok = false;
        rowsPerFile = t.toInt(&ok);
        if (!ok)
            throw Failure{kUsage, QStringLiteral("请输入有效记录数")};
    }
    TDataModule2 dm;
    login(dm, db, {tbl::Salary});
    const QList<QByteArray> files = buildSalaryFiles(*dm.ATSalary, rowsPerFile);
    const QStringList names =
        files.size() > 1 ? pieceNames(out, int(files.size())) : QStringList{out};
    BankExport exported(ExportKind::Salary, names, files);
    warnCards(cardNumberWarnings(*dm.ATSalary));
    exported.write(dm.ADOConn, dm.CurrentUser);
    reportExported(exported);
    return kOk;
}

int exportPayees(const QString& db, const QStringList& args)
{
    const Options o(args, {QStringLiteral("-o")});
    const QString out = o.required(QStringLiteral("-o"));
    TDataModule2 dm;
    login(dm, db, {tbl::Company, tbl::CompanyType}); // the classification's name is written
    BankExport exported(ExportKind::Payees, {out}, {buildPayeeFile(*dm.ATCompany)});
    exported.write(dm.ADOConn, dm.CurrentUser);
    reportExported(exported);
    return kOk;
}

int backupCommand(const QString& db, const QStringList& args)
{
    noOptions(args);
    TDataModule2 dm;
    // The copy is made while the password's hash is computed, and kept only after the
    // login succeeded.
    std::optional<PendingBackup> pending;
    login(dm, db, {}, [&] { pending.emplace(dm.ADOConn, BackupReason::Manual); });
    const BackupInfo b = pending->commit();
    QTextStream(stdout) << QStringLiteral("已备份到“%1”。").arg(QDir::toNativeSeparators(b.path))
                        << "\n";
    return kOk;
}

int listBackupsCommand(const QString& db, const QStringList& args)
{
    noOptions(args);
    TDataModule2 dm;
    login(dm, db);
    QTextStream out(stdout);
    out << QStringLiteral("时间\t原因\t支付指令\t往来帐户\t工资\t文件") << "\n";
    for (const BackupInfo& b : listBackups(db)) {
        out << shownTime(b.time) << '\t' << b.reasonText() << '\t' << b.payments << '\t' << b.payees
            << '\t' << b.salary << '\t' << QDir::toNativeSeparators(b.path) << "\n";
    }
    return kOk;
}

int restoreCommand(const QString& db, const QStringList& args)
{
    const QString backup = onlyArgument(args, QStringLiteral("用法：restore 备份文件"));
    if (!QFileInfo::exists(db))
        throw Failure{kRefused, QStringLiteral("数据库文件“%1”不存在。").arg(db)};
    // Declared before the data module, released after it: the desktop program cannot
    // start on the file while it is being replaced.
    InstanceLock lock(db);
    try {
        lock.lock();
    } catch (const DbError&) {
        throw Failure{kRefused,
                      QStringLiteral("桌面程序正在使用数据库“%1”，不能恢复备份。请先退出桌面"
                                     "程序，或在桌面程序中使用“文件 → 恢复备份…”。")
                          .arg(QDir::toNativeSeparators(QFileInfo(db).absoluteFilePath()))};
    }
    TDataModule2 dm;
    login(dm, db);
    dm.restoreFromBackup(backup);
    QTextStream(stdout) << QStringLiteral("已从备份“%1”恢复数据库；恢复前的数据已另行备份。")
                               .arg(QDir::toNativeSeparators(backup))
                        << "\n";
    return kOk;
}

int exportLogCommand(const QString& db, const QStringList& args)
{
    noOptions(args);
    TDataModule2 dm;
    login(dm, db);
    QTextStream out(stdout);
    out << QStringLiteral("编号\t时间\t类型\t笔数\t合计金额\t支付帐号\t文件\tSHA-256") << "\n";
    for (const JournalEntry& e : exportJournal(dm.ADOConn)) {
        out << e.id << '\t' << shownTime(e.time) << '\t' << exportKindText(e.kind) << '\t'
            << e.lines << '\t' << e.total.toDisplayString() << '\t' << e.payer << '\t' << e.path
            << '\t' << e.sha256 << "\n";
    }
    return kOk;
}

int verifyCommand(const QString& db, const QStringList& args)
{
    const QString file = onlyArgument(args, QStringLiteral("用法：verify 文件"));
    TDataModule2 dm;
    login(dm, db);
    const JournalEntry e = verifyExportedFile(dm.ADOConn, file);
    QTextStream(stdout) << verifiedMessage(file, e) << "\n";
    return kOk;
}

int run(QStringList args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << QString::fromUtf8(kHelp);
        return kOk;
    }
    QString db = QStringLiteral("data.db");
    if (args.size() >= 2 && args.first() == QStringLiteral("--db")) {
        db = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty())
        throw Failure{kUsage, QStringLiteral("缺少命令。使用 --help 查看用法。")};
    const QString command = args.takeFirst();
    if (command == QLatin1String("export-payments"))
        return exportPayments(db, args);
    if (command == QLatin1String("export-salary"))
        return exportSalary(db, args);
    if (command == QLatin1String("export-payees"))
        return exportPayees(db, args);
    if (command == QLatin1String("import-payments"))
        return importTextCommand(db, args, true);
    if (command == QLatin1String("import-payees"))
        return importTextCommand(db, args, false);
    if (command == QLatin1String("import-salary"))
        return importSalaryCommand(db, args);
    if (command == QLatin1String("import-log"))
        return importLogCommand(db, args);
    if (command == QLatin1String("undo-import"))
        return undoImportCommand(db, args);
    if (command == QLatin1String("backup"))
        return backupCommand(db, args);
    if (command == QLatin1String("list-backups"))
        return listBackupsCommand(db, args);
    if (command == QLatin1String("restore"))
        return restoreCommand(db, args);
    if (command == QLatin1String("export-log"))
        return exportLogCommand(db, args);
    if (command == QLatin1String("verify"))
        return verifyCommand(db, args);
    if (command == QLatin1String("print-payments"))
        return printPaymentsCommand(db, args);
    if (command == QLatin1String("print-salary"))
        return printSalaryCommand(db, args);
    throw Failure{kUsage, QStringLiteral("未知的命令：%1。使用 --help 查看用法。").arg(command)};
}

} // namespace

int main(int argc, char* argv[])
{
    // Only printing lays out text, which needs the fonts of a graphical application; it
    // draws nothing on a screen, so it needs no display either.
    std::unique_ptr<QCoreApplication> app;
    if (printsReport(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The graphical platform's notes (a missing runtime folder, font cache) are not
        // the clerk's business; the command's own messages go to standard error.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                err() << m << "\n";
        });
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // A file-size limit makes a write fail (and the export report it) instead of
    // killing the process half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return run(QCoreApplication::arguments().mid(1));
    } catch (const Failure& f) {
        err() << f.message << "\n";
        return f.status;
    } catch (const DbError& e) {
        err() << e.message() << "\n";
        return kRefused;
    } catch (const AbortError&) {
        return kRefused;
    } catch (const std::exception& e) {
        err() << describeError(e) << "\n";
        return kRefused;
    }
}
