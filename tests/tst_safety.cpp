// The safety net through bankprep-cli as a clerk's script runs it: a backup before every
// import, restore, a backup that cannot be written (a real file-size limit), the export
// journal with verify, the duplicate refusal; and in the core the rotation of backups
// and an export whose read-back differs (a failing disk).
#include "core/data/backup.h"
#include "core/data/connection.h"
#include "core/export/exportjournal.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bankprep;
using namespace testutil;

class TestSafety : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;

    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };
    Run cli(const QStringList& args, rlim_t fileSize = 0)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BANKPREP_PASSWORD"), QString());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(ws->path(QString()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.setChildProcessModifier([fileSize] {
            if (fileSize) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit l{fileSize, fileSize};
                ::setrlimit(RLIMIT_FSIZE, &l);
            }
        });
        p.start(QStringLiteral(BANKPREP_CLI), args);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString path(const QString& name) const { return ws->path(name); }
    qint64 count(const QString& table) const
    {
        return querySingle(ws->path(), QStringLiteral("select count(*) from %1").arg(table))
            .toLongLong();
    }
    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList backupReasons() const
    {
        QStringList out;
        for (const BackupInfo& b : listBackups(ws->path()))
            out << b.reason;
        return out;
    }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        {
            Connection c;
            c.open(ws->path());
        }
        execSql(ws->path(), QStringLiteral("insert into Drawee(付款帐号, 用户编号) values "
                                           "('310100100100', '1')"));
        execSql(
            ws->path(),
            QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, 收款银行, "
                           "汇入地点, 金额, 用途, 大额实时, 用户编号) values "
                           "('否','否','4410000123','东方示例公司','示例银行','上海',15005000,"
                           "'货款','否','1')"));
    }

    void importsAreBackedUpAndRestorable()
    {
        writeFile(QStringLiteral("zf.txt"),
                  gbk("标题\r\n1|否|6222000011112222|新户|某银行|北京|100|否|货款|\r\n"));
        writeFile(QStringLiteral("wl.txt"), gbk("甲公司|某银行|6222000011113333\r\n"));
        writeFile(QStringLiteral("gz.csv"),
                  gbk("编号,姓名,卡号,实发工资\r\n001,张三,6222000011112222,100\r\n"));
        QCOMPARE(cli({QStringLiteral("import-payments"), QStringLiteral("zf.txt")}).status, 0);
        QCOMPARE(
            cli({QStringLiteral("import-payees"), QStringLiteral("wl.txt"), QStringLiteral("--col"),
                 QStringLiteral("unit=1"), QStringLiteral("--col"), QStringLiteral("bank=2"),
                 QStringLiteral("--col"), QStringLiteral("account=3")})
                .status,
            0);
        // The payroll card fails the Luhn check: a warning, the import goes on.
        const Run salary =
            cli({QStringLiteral("import-salary"), QStringLiteral("gz.csv"), QStringLiteral("--col"),
                 QStringLiteral("姓名=2"), QStringLiteral("--col"), QStringLiteral("卡号=3"),
                 QStringLiteral("--col"), QStringLiteral("实发工资=4")});
        QCOMPARE(salary.status, 0);
        QVERIFY2(salary.err.contains(
                     QStringLiteral("第2行（张三）：卡号“6222000011112222”的校验位不正确")),
                 qPrintable(salary.err));
        QCOMPARE(backupReasons(),
                 (QStringList{QStringLiteral("import-salary"), QStringLiteral("import-payees"),
                              QStringLiteral("import-payments")}));
        const BackupInfo beforePayments = listBackups(ws->path()).last();
        QCOMPARE(beforePayments.payments, 1); // as it was before the import
        QCOMPARE(count(QStringLiteral("Payment")), 2);

        const Run restored = cli({QStringLiteral("restore"), beforePayments.path});
        QCOMPARE(restored.status, 0);
        QCOMPARE(count(QStringLiteral("Payment")), 1);
        QCOMPARE(count(QStringLiteral("Company")), 0);
        QCOMPARE(backupReasons().first(), QStringLiteral("before-restore"));
        QCOMPARE(listBackups(ws->path()).first().salary, 1);

        // Neither the database itself nor a file that is not a sound backup is restored.
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("data.db")}).status, 1);
        writeFile(QStringLiteral("bad.db"), QByteArray(8192, 'x'));
        const Run bad = cli({QStringLiteral("restore"), QStringLiteral("bad.db")});
        QCOMPARE(bad.status, 1);
        QVERIFY2(bad.err.contains(QStringLiteral("备份文件")), qPrintable(bad.err));
        // Nor a database that lacks a column the program needs.
        QVERIFY(QFile::copy(beforePayments.path, path(QStringLiteral("narrow.db"))));
        execSql(path(QStringLiteral("narrow.db")),
                QStringLiteral("alter table Company drop column 收款银行"));
        const Run narrow = cli({QStringLiteral("restore"), QStringLiteral("narrow.db")});
        QCOMPARE(narrow.status, 1);
        QVERIFY2(narrow.err.contains(QStringLiteral("缺少“Company”中的“收款银行”")),
                 qPrintable(narrow.err));
        QCOMPARE(count(QStringLiteral("Payment")), 1);
    }

    void backupThatCannotBeWrittenRefusesTheImport()
    {
        writeFile(QStringLiteral("zf.txt"),
                  gbk("标题\r\n1|否|6222000011112222|新户|某银行|北京|100|否|货款|\r\n"));
        // Held open as the desktop program holds it (the -wal and -shm files exist at their
        // size); the database is larger than the limit, so its copy cannot be completed.
        Connection desktop;
        desktop.open(ws->path());
        const Run r = cli({QStringLiteral("import-payments"), QStringLiteral("zf.txt")}, 4096);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("操作前未能备份数据库")), qPrintable(r.err));
        QCOMPARE(count(QStringLiteral("Payment")), 1);
        // No half-written copy is left behind.
        QCOMPARE(QDir(backupFolder(ws->path()))
                     .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                     .size(),
                 0);
    }

    void rotationKeepsTheNewestAndOnePerMonth()
    {
        const QString folder = backupFolder(ws->path());
        QVERIFY(QDir().mkpath(folder));
        const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
        QStringList names;
        const auto make = [&](const QDateTime& t) {
            const QString name = QStringLiteral("data-%1-daily-P1-C0-S0.db")
                                     .arg(t.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
            QFile f(QDir(folder).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            names << name;
        };
        for (int d = 0; d < 40; ++d) // Dec 9 back to Oct 31
            make(now.addDays(-d));
        for (int m = 2; m <= 18; ++m) // the 15th of Oct 2026 back to Jun 2025
            make(QDateTime(QDate(2026, 12, 15).addMonths(-m), QTime(9, 0)));
        writeFile(QStringLiteral("backups/notes.db"), "the clerk's own file");
        // A copy left by a backup whose program was killed goes; one being written stays.
        const pid_t dead = ::fork();
        if (dead == 0)
            ::_exit(0);
        ::waitpid(dead, nullptr, 0);
        const QString abandoned =
            QStringLiteral("backups/.backup.bankprep-%1-0badf00d.tmp").arg(dead);
        const QString writing =
            QStringLiteral("backups/.backup.bankprep-%1-0badf00d.tmp").arg(::getpid());
        writeFile(abandoned, "half");
        writeFile(writing, "half");

        const QStringList removed = rotateBackups(ws->path(), now);
        QCOMPARE(removed.size(), 9 + 1 + 7); // Nov 1-9, Oct 15, Jun-Dec 2025
        QVERIFY(QFile::exists(QDir(folder).filePath(names.at(29))));     // Nov 10, the 30th newest
        QVERIFY(!QFile::exists(QDir(folder).filePath(names.at(30))));    // Nov 9
        QVERIFY(QFile::exists(QDir(folder).filePath(names.at(39))));     // Oct 31: October's newest
        QVERIFY(QFile::exists(QDir(folder).filePath(names.at(40 + 9)))); // Jan 2026
        QVERIFY(!QFile::exists(QDir(folder).filePath(names.at(40 + 10)))); // Dec 2025
        QVERIFY(QFile::exists(path(QStringLiteral("backups/notes.db"))));
        QVERIFY(!QFile::exists(path(abandoned)));
        QVERIFY(QFile::exists(path(writing)));

        // The only backup stays, however old.
        for (const BackupInfo& b : listBackups(ws->path()))
            QFile::remove(b.path);
        make(now.addYears(-3));
        QVERIFY(rotateBackups(ws->path(), now).isEmpty());
    }

    void journalVerifyAndDuplicates()
    {
        const QStringList exportArgs = {QStringLiteral("export-payments"),
                                        QStringLiteral("--payer"), QStringLiteral("310100100100"),
                                        QStringLiteral("-o"), QStringLiteral("zf.txt")};
        const Run first = cli(exportArgs);
        QCOMPARE(first.status, 0);
        QVERIFY(first.out.contains(QStringLiteral("人民币壹仟伍佰元伍角整")));
        const Run verified = cli({QStringLiteral("verify"), QStringLiteral("zf.txt")});
        QCOMPARE(verified.status, 0);

        // The same instruction again within 10 days: refused with the list.
        const QByteArray exported = readFile(path(QStringLiteral("zf.txt")));
        const Run again =
            cli(exportArgs + QStringList{QStringLiteral("-o"), QStringLiteral("b.txt")});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.err.contains(QStringLiteral("第1笔：收款帐号 4410000123")),
                 qPrintable(again.err));
        QVERIFY(again.err.contains(QStringLiteral("已于")));
        QVERIFY(!QFile::exists(path(QStringLiteral("b.txt"))));
        // Twice in one batch, named by both places.
        execSql(ws->path(),
                QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, "
                               "收款银行, 汇入地点, 金额, 用途, 大额实时, 用户编号) "
                               "select 同城交易, 溯枫帐号, 收款帐号, 收款单位, 收款银行, "
                               "汇入地点, 金额, 用途, 大额实时, 用户编号 from Payment"));
        const Run batch = cli(exportArgs);
        QCOMPARE(batch.status, 1);
        QVERIFY2(batch.err.contains(QStringLiteral("与本批第2笔的收款帐号和金额相同")),
                 qPrintable(batch.err));
        QCOMPARE(readFile(path(QStringLiteral("zf.txt"))), exported);
        QCOMPARE(cli(exportArgs + QStringList{QStringLiteral("--allow-duplicates")}).status, 0);
        QVERIFY(readFile(path(QStringLiteral("zf.txt"))).startsWith("2|"));

        // A file changed after its export is caught; one never exported is unknown.
        QFile f(path(QStringLiteral("zf.txt")));
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(2);
        f.write("9");
        f.close();
        const Run tampered = cli({QStringLiteral("verify"), QStringLiteral("zf.txt")});
        QCOMPARE(tampered.status, 1);
        QVERIFY2(tampered.err.contains(QStringLiteral("导出后已被修改")), qPrintable(tampered.err));
        writeFile(QStringLiteral("other.txt"), "1|1\r\n");
        QCOMPARE(cli({QStringLiteral("verify"), QStringLiteral("other.txt")}).status, 1);
        const Run log = cli({QStringLiteral("export-log")});
        QCOMPARE(log.out.count(QStringLiteral("支付指令")), 2);
    }

    void valueWithTheSeparatorIsNotExported()
    {
        // The bank would read "甲|乙公司" as two fields: refused, naming the line.
        execSql(ws->path(), QStringLiteral("update Payment set 收款单位 = '甲|乙公司'"));
        writeFile(QStringLiteral("zf.txt"), "the old file");
        const Run r =
            cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                 QStringLiteral("310100100100"), QStringLiteral("-o"), QStringLiteral("zf.txt")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(
                     QStringLiteral("生成的银行文件第2行不符合银行的格式：应有10个字段，实有11个")),
                 qPrintable(r.err));
        QCOMPARE(readFile(path(QStringLiteral("zf.txt"))), QByteArray("the old file"));
    }

    void readBackMismatchFailsTheExport()
    {
        writeFile(QStringLiteral("zf.txt"), "the old file");
        Connection conn;
        conn.open(ws->path());
        const QByteArray file = gbk("1|1.5\r\n310|否|6222|甲|银行||1.5|货款||否\r\n");
        BankExport e(ExportKind::Payments, {path(QStringLiteral("zf.txt"))}, {file},
                     QStringLiteral("310"));
        QCOMPARE(e.lines(), 1);
        QCOMPARE(e.total(), Money::fromUnits(15000));
        // The disk gives back one byte other than it was given.
        testing::setReadBackFilter([](QByteArray& block) {
            if (block.size() > 20)
                block[20] = char(block[20] ^ 1);
        });
        const QString refusal = refusalOf([&] { e.write(conn, QStringLiteral("1")); });
        testing::setReadBackFilter({});
        QVERIFY2(refusal.contains(QStringLiteral("读回的内容与生成的不一致（自第2行起）")),
                 qPrintable(refusal));
        QCOMPARE(readFile(path(QStringLiteral("zf.txt"))), QByteArray("the old file"));
        QCOMPARE(QDir(ws->path(QString()))
                     .entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden)
                     .size(),
                 0);
        QVERIFY(exportJournal(conn).isEmpty());

        // A file the bank would misread is refused before anything is written.
        QVERIFY(refusalOf([&] {
                    BankExport bad(ExportKind::Payments, {path(QStringLiteral("x.txt"))},
                                   {gbk("1|1\r\n310|否|62|甲|公司|乙|银行||1|货款||否\r\n")});
                }).contains(QStringLiteral("应有10个字段，实有12个")));
    }
};

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
