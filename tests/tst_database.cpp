// The database file: creation with the schema, refusals of unusable files, enforcement
// of widths and exact amounts in the file itself, and the single-copy lock.
#include "core/data/connection.h"
#include "core/data/instancelock.h"
#include "core/data/money.h"
#include "core/data/passwordhash.h"
#include "core/data/schema.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace bankprep;
using namespace testutil;

class TestDatabase : public QObject
{
    Q_OBJECT

private:
    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

private slots:
    void newFileGetsTheSevenTables()
    {
        Workspace ws;
        Connection conn;
        conn.open(ws.path());
        QVERIFY(conn.createdSchema());
        QVERIFY(QFile::exists(ws.path()));

        // Names verbatim, with both 帐 and 账 as declared.
        const QList<QVariantList> payment = queryRows(
            ws.path(), QStringLiteral("select name, type, pk from pragma_table_info('Payment')"));
        QStringList names;
        for (const QVariantList& r : payment)
            names << r.at(0).toString();
        QCOMPARE(names,
                 QStringList({"同城交易", "收款帐号", "溯枫帐号", "收款单位", "收款银行",
                              "汇入地点", "金额", "大额实时", "用途", "备注", "用户编号", "编号"}));
        QCOMPARE(payment.at(1).at(1).toString(), QStringLiteral("NVARCHAR(50)"));
        QCOMPARE(payment.at(7).at(1).toString(), QStringLiteral("CHAR(1)"));
        QCOMPARE(payment.at(11).at(2).toInt(), 1); // 编号 is the key

        const QStringList companyCols = [&] {
            QStringList l;
            for (const QVariantList& r : queryRows(
                     ws.path(), QStringLiteral("select name from pragma_table_info('Company')")))
                l << r.at(0).toString();
            return l;
        }();
        QVERIFY(companyCols.contains(QStringLiteral("账号分类")));
        QVERIFY(companyCols.contains(QStringLiteral("收款帐号")));
        QVERIFY(companyCols.contains(QStringLiteral("自定编号")));

        for (const char* t :
             {"Payment", "Company", "Salary", "Drawee", "User", "CompanyType", "Use"}) {
            QCOMPARE(
                querySingle(ws.path(),
                            QStringLiteral(
                                "select count(*) from sqlite_master where type='table' and name=?"),
                            {QString::fromLatin1(t)})
                    .toInt(),
                1);
        }

        // One user, "1", whose password is the empty one, stored hashed.
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select count(*) from \"User\"")).toInt(),
                 1);
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select 用户编号 from \"User\"")).toString(),
                 QStringLiteral("1"));
        const QString stored =
            querySingle(ws.path(), QStringLiteral("select 密码 from \"User\"")).toString();
        QVERIFY(isPasswordHash(stored));
        QVERIFY(passwordMatches(stored, QString()));
        QVERIFY(!passwordMatches(stored, QStringLiteral("x")));

        // Auto-numbers.
        execSql(ws.path(), QStringLiteral("insert into CompanyType(type) values ('甲')"));
        execSql(ws.path(), QStringLiteral("insert into CompanyType(type) values ('乙')"));
        QCOMPARE(
            querySingle(ws.path(), QStringLiteral("select max(type_id) from CompanyType")).toInt(),
            2);
    }

    void reopeningKeepsData()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
            Statement st(conn, QStringLiteral("insert into Use(用途) values (:yt)"));
            st.bind(0, QStringLiteral("货款"));
            st.exec();
        }
        Connection again;
        again.open(ws.path());
        QVERIFY(!again.createdSchema());
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select count(*) from \"User\"")).toInt(),
                 1);
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select 用途 from Use")).toString(),
                 QStringLiteral("货款"));
    }

    void passwordHashesFoldLetterCase()
    {
        const QString h = hashPassword(QStringLiteral("AbC123"));
        QVERIFY(isPasswordHash(h));
        QVERIFY(!h.contains(QStringLiteral("abc123"), Qt::CaseInsensitive));
        QVERIFY(passwordMatches(h, QStringLiteral("abc123")));
        QVERIFY(passwordMatches(h, QStringLiteral("ABC123")));
        QVERIFY(!passwordMatches(h, QStringLiteral("abc124")));
        // A plain text left by hand still works, ignoring case.
        QVERIFY(passwordMatches(QStringLiteral("Secret"), QStringLiteral("sECRET")));
        QVERIFY(!passwordMatches(QStringLiteral("Secret"), QStringLiteral("Secre")));
    }

    void statementsTranslateRefusals()
    {
        Workspace ws;
        Connection conn;
        conn.open(ws.path());

        // A duplicate classification name: the message carries "重复的值".
        Statement a(conn, QStringLiteral("insert into CompanyType(type) values (:t)"));
        a.bind(0, QStringLiteral("供应商"));
        a.exec();
        Statement b(conn, QStringLiteral("insert into CompanyType(type) values (:t)"));
        b.bind(0, QStringLiteral("供应商"));
        try {
            b.exec();
            QFAIL("duplicate accepted");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("重复的值")), qPrintable(e.message()));
        }

        // Widths are enforced by the file itself, never cut.
        Statement longText(conn, QStringLiteral("insert into Payment(收款帐号) values (:skzh)"));
        longText.bind(0, QString(51, QLatin1Char('9')));
        try {
            longText.exec();
            QFAIL("over-long text accepted");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("收款帐号")), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("50")));
        }
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select count(*) from Payment")).toInt(), 0);
        Statement fits(
            conn, QStringLiteral("insert into Payment(收款帐号, 同城交易) values (:skzh, :tc)"));
        fits.bind(0, QString(50, QChar(0x4E2D))); // fifty Chinese characters
        fits.bind(1, QStringLiteral("是"));
        fits.exec();
        Statement twoChars(conn, QStringLiteral("insert into Payment(同城交易) values (:tc)"));
        twoChars.bind(0, QStringLiteral("是否"));
        QVERIFY_THROWS_EXCEPTION(DbError, twoChars.exec());

        // Amounts are integers of ten-thousandths: a real or a text is refused.
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            execSql(ws.path(), QStringLiteral("insert into Payment(金额) values (1.5)")));
    }

    void moneyIsExactInTheFile()
    {
        Workspace ws;
        Connection conn;
        conn.open(ws.path());
        const QStringList texts = {"922337203685477.5807", "-922337203685477.5808", "0.0001",
                                   "1500.5", "0"};
        for (const QString& t : texts) {
            Statement st(conn,
                         QStringLiteral("insert into Salary(员工编号, 金额) values (:n, :je)"));
            st.bind(0, t.left(10));
            st.bind(1, QVariant::fromValue(*Money::parse(t)));
            st.exec();
        }
        const QList<QVariantList> rows = queryRows(
            ws.path(), QStringLiteral("select 金额, typeof(金额) from Salary order by 编号"));
        QCOMPARE(rows.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(rows.at(i).at(1).toString(), QStringLiteral("integer"));
            QCOMPARE(Money::fromUnits(rows.at(i).at(0).toLongLong()).toString(), texts.at(i));
        }
    }

    void unusableFilesAreRefusedAndKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("text file") << QByteArray("这不是数据库，只是一段文字。\r\n").repeated(200)
                                   << QStringLiteral("不是有效的数据库");
        QByteArray header("SQLite format 3");
        header.append('\0');
        header.append(QByteArray(4080, '\xff'));
        QTest::newRow("damaged header") << header << QString();
    }

    void unusableFilesAreRefusedAndKept()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reasonPart);
        Workspace ws;
        writeFile(ws.path(), content);
        Connection conn;
        try {
            conn.open(ws.path());
            QFAIL("an unusable file was opened");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("data.db")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(reasonPart), qPrintable(e.message()));
        }
        QVERIFY(!conn.isOpen());
        QCOMPARE(readAll(ws.path()), content); // never replaced or re-created
    }

    void otherProgramsDatabaseIsRefused()
    {
        Workspace ws;
        execSql(ws.path(), QStringLiteral("create table Orders(id integer)"));
        execSql(ws.path(), QStringLiteral("insert into Orders values (7)"));
        const QByteArray before = readAll(ws.path());
        Connection conn;
        QVERIFY_THROWS_EXCEPTION(DbError, conn.open(ws.path()));
        QCOMPARE(
            querySingle(ws.path(), QStringLiteral("select count(*) from sqlite_master")).toInt(),
            1);
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select id from Orders")).toInt(), 7);
        Q_UNUSED(before);
    }

    void emptyFileGetsTheSchema()
    {
        Workspace ws;
        writeFile(ws.path(), QByteArray());
        Connection conn;
        conn.open(ws.path());
        QVERIFY(conn.hasColumn(QStringLiteral("Payment"), QStringLiteral("大额实时")));
    }

    void pathsThatAreNotFiles()
    {
        Workspace ws;
        QVERIFY(QDir(ws.path(QString())).mkdir(QStringLiteral("data.db")));
        Connection conn;
        try {
            conn.open(ws.path());
            QFAIL("a folder was opened as a database");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains(QStringLiteral("data.db")));
        }
        QVERIFY(QFileInfo(ws.path()).isDir());

        QVERIFY_THROWS_EXCEPTION(DbError, conn.open(ws.path(QStringLiteral("missing/data.db"))));
        QVERIFY(!QFile::exists(ws.path(QStringLiteral("missing"))));
    }

    // The driver does not always pass SQLite's code on: its English text is enough to
    // tell the clerk what happened, in Chinese.
    void sqliteTextsAreTranslated()
    {
        const QList<QPair<const char*, const char*>> cases = {
            {"database or disk is full", "磁盘已满"},
            {"attempt to write a readonly database", "只读"},
            {"database is locked", "锁定"},
            {"database disk image is malformed", "损坏"},
            {"disk I/O error", "磁盘错误"}};
        for (const auto& [english, chinese] : cases) {
            const QString m = describeSqliteError(1, QString::fromLatin1(english));
            QVERIFY2(m.contains(QString::fromUtf8(chinese)) && !m.contains(QLatin1String(english)),
                     qPrintable(m));
        }
    }

    void secondCopyIsRefused()
    {
        Workspace ws;
        InstanceLock first(ws.path());
        first.lock();
        QVERIFY(first.isLocked());
        InstanceLock second(ws.path());
        QVERIFY(testutil::refusalOf([&] { second.lock(); }).contains(QStringLiteral("已经在运行")));
        QVERIFY(!second.isLocked());
        first.unlock();
        second.lock();
        QVERIFY(second.isLocked());
    }

    void killedCopyLeavesNoStaleLock()
    {
        Workspace ws;
        int pipeFds[2];
        QCOMPARE(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // The child holds the lock until it is killed.
            InstanceLock lock(ws.path());
            char ok = 'y';
            try {
                lock.lock();
            } catch (const DbError&) {
                ok = 'n';
            }
            if (::write(pipeFds[1], &ok, 1) != 1)
                ::_exit(2);
            for (;;)
                ::pause();
        }
        char answer = 0;
        QCOMPARE(::read(pipeFds[0], &answer, 1), ssize_t(1));
        QCOMPARE(answer, 'y');
        {
            InstanceLock meanwhile(ws.path());
            QVERIFY(testutil::refusalOf([&] {
                        meanwhile.lock();
                    }).contains(QStringLiteral("已经在运行")));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        InstanceLock after(ws.path());
        after.lock();
        QVERIFY(after.isLocked());
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
