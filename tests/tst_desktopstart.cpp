// The real bankprep program started as the menu entry starts it: in the clerk's own
// data folder, never in the folder it was started from.
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using namespace testutil;

class TestDesktopStart : public QObject
{
    Q_OBJECT

    // Starts the program, waits until `database` exists, then kills it.
    static bool startsOn(QProcess& p, const QString& database)
    {
        p.start(QStringLiteral(BANKPREP_DESKTOP), p.arguments());
        for (int i = 0; i < 600 && !QFileInfo::exists(database); ++i) {
            if (p.waitForFinished(100))
                break;
        }
        const bool created = QFileInfo::exists(database);
        p.kill();
        p.waitForFinished();
        return created;
    }

private slots:
    void menuEntryWorksInTheDataFolder()
    {
        Workspace ws;
        QDir(ws.path(QString())).mkpath(QStringLiteral("start"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), ws.path(QStringLiteral("home")));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(ws.path(QStringLiteral("start")));
        p.setArguments({QStringLiteral("--user-data")});
        const QString folder = ws.path(QStringLiteral("home/.local/share/bankprep"));
        QVERIFY(startsOn(p, folder + QStringLiteral("/data.db")));
        QCOMPARE(QFileInfo(folder).permissions() & 0x0077, 0); // the owner's only
        QVERIFY(QDir(ws.path(QStringLiteral("start"))).isEmpty());

        // $XDG_DATA_HOME when set; --data-dir names any folder.
        env.insert(QStringLiteral("XDG_DATA_HOME"), ws.path(QStringLiteral("xdg")));
        p.setProcessEnvironment(env);
        QVERIFY(startsOn(p, ws.path(QStringLiteral("xdg/bankprep/data.db"))));
        p.setArguments({QStringLiteral("--data-dir"), ws.path(QStringLiteral("elsewhere"))});
        QVERIFY(startsOn(p, ws.path(QStringLiteral("elsewhere/data.db"))));

        // A wrong command line says how it is used and starts nothing.
        p.setArguments({QStringLiteral("--user-data"), QStringLiteral("--data-dir=x")});
        p.start(QStringLiteral(BANKPREP_DESKTOP), p.arguments());
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QString::fromUtf8(p.readAllStandardError())
                    .contains(QStringLiteral("--data-dir 和 --user-data 只能给出一个。")));
        QVERIFY(QDir(ws.path(QStringLiteral("start"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDesktopStart)
#include "tst_desktopstart.moc"
