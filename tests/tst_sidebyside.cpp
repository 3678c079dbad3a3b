// bankprep-cli run beside the real desktop program on one data.db: exports and imports
// while the clerk types, then a normal exit or a kill. Every row of both must be in the
// file, the file must be sound, and the desktop program's WAL must never be deleted
// under it. Also the second-copy guard through a symlink and a hard link.
#include "core/data/backup.h"
#include "core/data/connection.h"
#include "core/data/gbk.h"
#include "core/data/instancelock.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bankprep;
using namespace testutil;

class TestSideBySide : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    QProcess desktop;

    QString path(const QString& name) const { return ws->path(name); }
    int count(const QString& table)
    {
        return querySingle(path(QStringLiteral("data.db")),
                           QStringLiteral("select count(*) from %1").arg(table))
            .toInt();
    }

    int cli(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BANKPREP_PASSWORD"), QString());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(path(QString()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(BANKPREP_CLI), args);
        if (!p.waitForFinished(120000))
            return -1;
        if (p.exitCode() != 0)
            qWarning().noquote() << p.readAllStandardError();
        return p.exitCode();
    }

    bool startDesktop()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        desktop.setProcessEnvironment(env);
        desktop.setWorkingDirectory(path(QString()));
        desktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        desktop.start(QStringLiteral(BANKPREP_DESKTOP_DRIVER), {});
        return desktop.waitForStarted() && answer("ready");
    }
    bool answer(const char* word)
    {
        while (!desktop.canReadLine()) {
            if (!desktop.waitForReadyRead(120000))
                return false;
        }
        return desktop.readLine().trimmed() == word;
    }
    void tell(const char* command)
    {
        desktop.write(command);
        desktop.write("\n");
        desktop.waitForBytesWritten();
    }

    // The desktop program's descriptors: its WAL must still be the file on the disk.
    void verifyWalNotDeleted()
    {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(desktop.processId());
        bool sawWal = false;
        for (const QString& fd :
             QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
            if (target.contains(QStringLiteral("data.db-wal"))) {
                sawWal = true;
                QVERIFY2(QFileInfo::exists(target), qPrintable(target)); // "... (deleted)"
            }
        }
        QVERIFY(sawWal);
    }

    // SQLite's shared lock on the -shm file (its "DMS" byte) tells other connections
    // that this one is alive. Asked from another process, as bankprep-cli would see it.
    void verifyDesktopStillHoldsItsLocks()
    {
        // Only async-signal-safe calls in the child of this threaded process.
        const QByteArray shm = QFile::encodeName(path(QStringLiteral("data.db-shm")));
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(shm.constData(), O_RDWR);
            struct flock probe
            {
            };
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
            probe.l_start = 128;
            probe.l_len = 1;
            const bool held =
                fd >= 0 && ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
            ::_exit(held && probe.l_pid > 0 ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                 "the desktop program has lost its SQLite locks");
    }

    void writeImportFiles(int first, int rows)
    {
        QByteArray payments = "header\r\n";
        for (int i = first; i < first + rows; ++i)
            payments += "310100|" + gbk("否") + "|P" + QByteArray::number(i) + "|" + gbk("某公司") +
                        "|" + gbk("某行") + "|" + gbk("上海") + "|" + QByteArray::number(i) +
                        ".25|" + gbk("货款") + "||" + gbk("否") + "\r\n";
        QFile f(path(QStringLiteral("zf-in.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(payments) == payments.size());
        f.close();
        QByteArray payees;
        for (int i = first; i < first + 50; ++i)
            payees += gbk("单位") + QByteArray::number(i) + "|" + gbk("工行") + "|W" +
                      QByteArray::number(i) + "\r\n";
        QFile g(path(QStringLiteral("wl-in.txt")));
        QVERIFY(g.open(QIODevice::WriteOnly) && g.write(payees) == payees.size());
    }

    void verifyFile(int payments, int payees)
    {
        const QString db = path(QStringLiteral("data.db"));
        QCOMPARE(querySingle(db, QStringLiteral("pragma integrity_check")).toString(),
                 QStringLiteral("ok"));
        QCOMPARE(count(QStringLiteral("Payment")), payments);
        QCOMPARE(count(QStringLiteral("Company")), payees);
    }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        Connection c;
        c.open(path(QStringLiteral("data.db")));
        c.exec(QStringLiteral("insert into Drawee(付款帐号, 用户编号) values ('310100', '1')"));
    }

    void cleanup()
    {
        if (desktop.state() != QProcess::NotRunning) {
            desktop.kill();
            desktop.waitForFinished();
        }
        ws.reset();
    }

    void cliBesideTheDesktopProgram()
    {
        QVERIFY(startDesktop()); // logged in, dialogs shown, 3 instructions typed
        verifyDesktopStillHoldsItsLocks();
        if (QTest::currentTestFailed())
            return;

        // The same file through other names cannot start a second copy.
        QVERIFY(QFile::link(path(QStringLiteral("data.db")), path(QStringLiteral("link.db"))));
        QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("data.db"))),
                        QFile::encodeName(path(QStringLiteral("hard.db")))),
                 0);
        for (const char* other : {"link.db", "hard.db"}) {
            InstanceLock second(path(QString::fromLatin1(other)));
            QVERIFY2(
                testutil::refusalOf([&] { second.lock(); }).contains(QStringLiteral("已经在运行")),
                other);
        }

        const QStringList exportArgs = {
            QStringLiteral("export-payments"), QStringLiteral("--payer"),
            QStringLiteral("310100"),          QStringLiteral("-o"),
            QStringLiteral("zf.txt"),          QStringLiteral("--allow-duplicates")};
        QCOMPARE(cli(exportArgs), 0);
        QVERIFY(readFile(path(QStringLiteral("zf.txt"))).startsWith("3|"));
        writeImportFiles(1, 2000);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(cli({QStringLiteral("import-payments"), QStringLiteral("zf-in.txt")}), 0);
        QCOMPARE(
            cli({QStringLiteral("import-payees"), QStringLiteral("wl-in.txt"),
                 QStringLiteral("--col"), QStringLiteral("unit=1"), QStringLiteral("--col"),
                 QStringLiteral("bank=2"), QStringLiteral("--col"), QStringLiteral("account=3")}),
            0);
        verifyWalNotDeleted();
        if (QTest::currentTestFailed())
            return;
        verifyDesktopStillHoldsItsLocks();
        if (QTest::currentTestFailed())
            return;

        // The clerk goes on typing while the command-line tool exports.
        tell("rows 5");
        QCOMPARE(cli(exportArgs), 0);
        QVERIFY(answer("stored"));
        QCOMPARE(cli(exportArgs), 0);
        QVERIFY(readFile(path(QStringLiteral("zf.txt"))).startsWith("2008|"));
        verifyWalNotDeleted();
        if (QTest::currentTestFailed())
            return;

        // A backup may be taken beside the desktop program; a restore may not, and then
        // changes nothing (no backup of the current state either).
        QCOMPARE(cli({QStringLiteral("backup")}), 0);
        const QList<BackupInfo> backups = listBackups(path(QStringLiteral("data.db")));
        QVERIFY(!backups.isEmpty());
        QCOMPARE(cli({QStringLiteral("restore"), backups.first().path}), 1);
        QCOMPARE(listBackups(path(QStringLiteral("data.db"))).size(), backups.size());
        verifyDesktopStillHoldsItsLocks();
        if (QTest::currentTestFailed())
            return;

        tell("quit");
        QVERIFY(desktop.waitForFinished(60000));
        QCOMPARE(desktop.exitStatus(), QProcess::NormalExit);
        QCOMPARE(desktop.exitCode(), 0);
        verifyFile(2008, 50);

        // Killed after a command-line import: nothing stored before the kill is lost.
        QVERIFY(startDesktop());
        writeImportFiles(5000, 2000);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(cli({QStringLiteral("import-payments"), QStringLiteral("zf-in.txt")}), 0);
        tell("rows 3");
        QVERIFY(answer("stored"));
        verifyWalNotDeleted();
        if (QTest::currentTestFailed())
            return;
        ::kill(pid_t(desktop.processId()), SIGKILL);
        QVERIFY(desktop.waitForFinished(60000));
        verifyFile(2008 + 3 + 2000 + 3, 50);
    }
};

QTEST_GUILESS_MAIN(TestSideBySide)
#include "tst_sidebyside.moc"
