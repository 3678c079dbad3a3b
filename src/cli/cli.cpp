#include "cli/cli.h"

#include "core/data/backup.h"
#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "core/data/table.h"
#include "core/data/users.h"
#include "core/import/salaryimport.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>
#include <termios.h>
#include <unistd.h>

namespace bankprep::cli {

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

namespace {

QString readPasswordFromTerminal()
{
    std::fputs("密码：", stderr);
    std::fflush(stderr);
    termios old{};
    const bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QTextStream in(stdin);
    const QString line = in.readLine();
    if (tty)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputs("\n", stderr);
    return line;
}

QString password()
{
    if (qEnvironmentVariableIsSet("BANKPREP_PASSWORD"))
        return qEnvironmentVariable("BANKPREP_PASSWORD");
    if (isatty(STDIN_FILENO))
        return readPasswordFromTerminal();
    throw Failure{kUsage, QStringLiteral("需要登录密码：请设置环境变量 BANKPREP_PASSWORD。")};
}

} // namespace

void login(TDataModule2& dm, const QString& dbPath, const QStringList& tables,
           const std::function<void()>& meanwhile)
{
    if (!QFileInfo::exists(dbPath))
        throw Failure{kRefused, QStringLiteral("数据库文件“%1”不存在。").arg(dbPath)};
    try {
        dm.create(dbPath, false, {tbl::User});
    } catch (const DbError& e) {
        if (!isDamagedDatabaseError(e) || listBackups(dbPath).isEmpty())
            throw;
        throw DbError(
            e.message() +
            QStringLiteral("\n文件夹“%1”中有它的备份：启动桌面程序，它会提出用最新的完好备份恢复。")
                .arg(QDir::toNativeSeparators(backupFolder(dbPath))));
    }
    PasswordCheck check(dm, QStringLiteral("1"), password());
    dm.openTables(tables);
    std::exception_ptr refused;
    if (meanwhile) {
        try {
            meanwhile();
        } catch (...) {
            refused = std::current_exception();
        }
    }
    if (!check.finish())
        throw Failure{kUsage, QStringLiteral("密码错误")};
    if (refused)
        std::rethrow_exception(refused);
    applyLogin(dm, QStringLiteral("1"));
}

void warnCards(const QStringList& warnings)
{
    if (warnings.isEmpty())
        return;
    err() << QStringLiteral("警告：") << cardWarningHeading() << "\n";
    for (const QString& w : warnings)
        err() << w << "\n";
}

void noOptions(const QStringList& args)
{
    if (!args.isEmpty())
        throw Failure{kUsage, QStringLiteral("未知的选项：%1").arg(args.first())};
}

QString onlyArgument(const QStringList& args, const QString& usage)
{
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-')))
        throw Failure{kUsage, usage};
    return args.first();
}

void requirePayerAccount(TDataModule2& dm, const QString& payer)
{
    Table& drawee = *dm.ATDrawee;
    const int field = drawee.fieldIndex(col::PayerAccount);
    bool known = false;
    for (int r = 0; r < drawee.rowCount() && !known; ++r)
        known = !drawee.isNewRow(r) && drawee.textAt(r, field) == payer;
    if (!known || payer.trimmed().isEmpty())
        throw Failure{kUsage, QStringLiteral("请选择支付帐号")};
}

} // namespace bankprep::cli
