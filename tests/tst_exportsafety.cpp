// The bank files when the disk says no: the real bankprep-cli under a real file-size
// limit, with targets that are FIFOs, device nodes, symlinks and the database itself
// (all made by the test in its own folder), many pieces under a small open-file limit,
// and the leftovers of an export that crashed.
#include "core/data/connection.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bankprep;
using namespace testutil;

class TestExportSafety : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    // Held open as the desktop program would hold it: the -wal and -shm files then exist
    // at their size, and the file-size limit falls on the export alone.
    std::unique_ptr<Connection> db;

    QString path(const QString& name) const { return ws->path(name); }

    struct Run
    {
        int status = -1;
        QString err;
    };
    // `fileSize` and `files`: limits set in the child before it starts (0: none).
    Run cli(const QStringList& args, rlim_t fileSize = 0, rlim_t files = 0)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BANKPREP_PASSWORD"), QString());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(path(QString()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.setChildProcessModifier([fileSize, files] {
            if (fileSize) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit l{fileSize, fileSize};
                ::setrlimit(RLIMIT_FSIZE, &l);
            }
            if (files) {
                const rlimit l{files, files};
                ::setrlimit(RLIMIT_NOFILE, &l);
            }
        });
        p.start(QStringLiteral(BANKPREP_CLI), args);
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    // Everything in the folder but the database's own files.
    QStringList folder() const
    {
        QStringList names =
            QDir(path(QString()))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
        names.removeIf([](const QString& n) { return n.startsWith(QStringLiteral("data.db")); });
        return names;
    }

    QStringList exportPayments(const QString& target)
    {
        return {QStringLiteral("export-payments"), QStringLiteral("--payer"),
                QStringLiteral("310100"), QStringLiteral("-o"), target};
    }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        db = std::make_unique<Connection>();
        Connection& c = *db;
        c.open(path(QStringLiteral("data.db")));
        c.exec(QStringLiteral("insert into Drawee(付款帐号, 用户编号) values ('310100', '1')"));
        // 150 instructions (a file of about 13 KiB); 25 payroll lines whose later ones
        // are long, so that later pieces of a split list are the large ones.
        c.exec(QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 150) "
            "insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, 收款银行, 汇入地点, 金额, "
            "用途, 备注, 大额实时, 用户编号) select '否', '否', '62220000' || i, '某某有限公司', "
            "'某银行某分行', '上海', i * 10000, '货款', '第' || i || '笔', '否', '1' from n"));
        c.exec(QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 25) "
            "insert into Salary(员工编号, 姓名, 卡号, 金额, 用户编号) select i, "
            "case when i <= 10 then 'a' else '张三李四王五赵六钱七' end, "
            "case when i <= 10 then '1' else '622200000000000000000000000000' end, 10000, '1' "
            "from n"));
    }

    void cleanup()
    {
        db.reset();
        ws.reset();
    }

    // A full disk (a file-size limit) replaces nothing: the old file stays byte for byte,
    // no temporary file is left, the failure names the file and the cause.
    void fullDiskKeepsTheOldFile()
    {
        for (const rlim_t limit : {rlim_t(100), rlim_t(8192)}) {
            const QByteArray old = "old good file " + QByteArray::number(qulonglong(limit));
            write(QStringLiteral("zf.txt"), old);
            const Run r = cli(exportPayments(QStringLiteral("zf.txt")), limit);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains(QStringLiteral("zf.txt")) &&
                         r.err.contains(QStringLiteral("文件超出了系统允许的大小")),
                     qPrintable(r.err));
            QCOMPARE(readFile(path(QStringLiteral("zf.txt"))), old);
            QCOMPARE(folder(), QStringList{QStringLiteral("zf.txt")});
        }
        QCOMPARE(cli(exportPayments(QStringLiteral("zf.txt"))).status, 0);
        QVERIFY(readFile(path(QStringLiteral("zf.txt"))).startsWith("150|"));
    }

    // Split pieces are all or nothing: a later piece that fails leaves every old piece.
    void failingLaterPieceReplacesNoPiece()
    {
        for (int i = 1; i <= 3; ++i)
            write(QStringLiteral("gz.txt.%1").arg(i), "old piece " + QByteArray::number(i));
        const QStringList args = {QStringLiteral("export-salary"), QStringLiteral("-o"),
                                  QStringLiteral("gz.txt"), QStringLiteral("--rows-per-file"),
                                  QStringLiteral("10")};
        const Run r = cli(args, 400); // piece 1 fits, piece 2 does not
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("gz.txt.2")), qPrintable(r.err));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(readFile(path(QStringLiteral("gz.txt.%1").arg(i))),
                     "old piece " + QByteArray::number(i));
        QCOMPARE(folder().size(), 3);

        // More pieces than the process may have files open at once.
        const QStringList many = {QStringLiteral("export-salary"), QStringLiteral("-o"),
                                  QStringLiteral("one.txt"), QStringLiteral("--rows-per-file"),
                                  QStringLiteral("1")};
        QCOMPARE(cli(many, 0, 20).status, 0);
        QVERIFY(readFile(path(QStringLiteral("one.txt.25"))).endsWith(",1\r\n"));
        QCOMPARE(folder().size(), 3 + 25);
    }

    // A target that is not a regular file is refused before anything is written, and
    // stays what it was; a symlink to a regular file has that file replaced.
    void specialTargetsAreRefused()
    {
        QVERIFY(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))), 0644) == 0);
        QVERIFY(QDir(path(QString())).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::link(path(QStringLiteral("nowhere")), path(QStringLiteral("dangling"))));
        QVERIFY(QFile::link(path(QStringLiteral("data.db")), path(QStringLiteral("db-link"))));
        QStringList targets = {QStringLiteral("pipe"),     QStringLiteral("folder"),
                               QStringLiteral("dangling"), QStringLiteral("data.db"),
                               QStringLiteral("db-link"),  QStringLiteral("data.db-wal")};
        // A device node of the test's own (as root, which CI is).
        if (::geteuid() == 0 && ::mknod(QFile::encodeName(path(QStringLiteral("null-node"))),
                                        S_IFCHR | 0666, makedev(1, 3)) == 0)
            targets << QStringLiteral("null-node");
        for (const QString& t : targets) {
            const Run r = cli(exportPayments(t));
            QVERIFY2(r.status == 1 && r.err.contains(t), qPrintable(t + QLatin1Char(' ') + r.err));
        }
        struct stat st
        {
        };
        QVERIFY(::stat(QFile::encodeName(path(QStringLiteral("pipe"))), &st) == 0 &&
                S_ISFIFO(st.st_mode));
        if (targets.contains(QStringLiteral("null-node")))
            QVERIFY(::stat(QFile::encodeName(path(QStringLiteral("null-node"))), &st) == 0 &&
                    S_ISCHR(st.st_mode));
        QVERIFY(QFileInfo(path(QStringLiteral("dangling"))).isSymLink());
        // The database is still the database (read through SQLite: reading its file here
        // directly would drop this process's own locks on it).
        QCOMPARE(
            querySingle(path(QStringLiteral("data.db")), QStringLiteral("pragma integrity_check"))
                .toString(),
            QStringLiteral("ok"));
        QCOMPARE(querySingle(path(QStringLiteral("data.db")),
                             QStringLiteral("select count(*) from Payment"))
                     .toInt(),
                 150);

        write(QStringLiteral("real.txt"), "old");
        QVERIFY(QFile::link(path(QStringLiteral("real.txt")), path(QStringLiteral("link.txt"))));
        QCOMPARE(cli(exportPayments(QStringLiteral("link.txt"))).status, 0);
        QVERIFY(QFileInfo(path(QStringLiteral("link.txt"))).isSymLink());
        QVERIFY(readFile(path(QStringLiteral("real.txt"))).startsWith("150|"));
    }

    // A target the clerk may write in a folder he may not: it cannot be replaced whole,
    // and the message says which folder. (Run as another user, so only where the test
    // runs as root.)
    void unwritableFolderIsNamed()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run the command-line tool as another user");
        QVERIFY(QDir(path(QString())).mkdir(QStringLiteral("locked")));
        const QString target = path(QStringLiteral("locked/zf.txt"));
        write(QStringLiteral("locked/zf.txt"), "old");
        QVERIFY(::chmod(QFile::encodeName(target), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("locked"))), 0755) == 0);
        for (const char* f : {"", "data.db", "data.db-wal", "data.db-shm"})
            ::chmod(QFile::encodeName(path(QString::fromLatin1(f))), 0777);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BANKPREP_PASSWORD"), QString());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(path(QString()));
        p.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
        p.start(QStringLiteral(BANKPREP_CLI), exportPayments(target));
        QVERIFY(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("文件夹")) && err.contains(QStringLiteral("locked")),
                 qPrintable(err));
        QCOMPARE(readFile(target), QByteArray("old"));
    }

    // What an export that crashed left is dealt with by the next export into the folder:
    // a set whose files were all written is put in place, unfinished files are removed,
    // and a running export's files are left alone.
    void crashedExportIsCompletedOrRemoved()
    {
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        const QString dead = QStringLiteral("%1-0badf00d").arg(gone);
        const QString alive = QStringLiteral("%1-c0ffee00").arg(::getpid());
        write(QStringLiteral("old.txt.1"), "before 1");
        write(QStringLiteral("old.txt.2"), "before 2");
        const QString t1 = QStringLiteral(".old.txt.1.bankprep-%1.tmp").arg(dead);
        const QString t2 = QStringLiteral(".old.txt.2.bankprep-%1.tmp").arg(dead);
        write(t1, "after 1");
        write(t2, "after 2");
        const QByteArray note =
            QFile::encodeName(path(t1)).toPercentEncoding() + '\t' +
            QFile::encodeName(path(QStringLiteral("old.txt.1"))).toPercentEncoding() + "\n" +
            QFile::encodeName(path(t2)).toPercentEncoding() + '\t' +
            QFile::encodeName(path(QStringLiteral("old.txt.2"))).toPercentEncoding() + "\n";
        write(QStringLiteral(".bankprep-%1.commit").arg(dead), note);
        write(
            QStringLiteral(".gz.txt.bankprep-%1.tmp").arg(QStringLiteral("%1-00000001").arg(gone)),
            "half");
        const QString running = QStringLiteral(".x.txt.bankprep-%1.tmp").arg(alive);
        write(running, "in progress");

        QCOMPARE(cli(exportPayments(QStringLiteral("zf.txt"))).status, 0);
        QCOMPARE(readFile(path(QStringLiteral("old.txt.1"))), QByteArray("after 1"));
        QCOMPARE(readFile(path(QStringLiteral("old.txt.2"))), QByteArray("after 2"));
        QCOMPARE(folder(), (QStringList{running, QStringLiteral("old.txt.1"),
                                        QStringLiteral("old.txt.2"), QStringLiteral("zf.txt")}));
    }
};

QTEST_GUILESS_MAIN(TestExportSafety)
#include "tst_exportsafety.moc"
