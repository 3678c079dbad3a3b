// The data module: creation, the not-logged-in filters, the schema upgrade of older
// payment tables, the looked-up classification names and their list, the row number and
// the clear commands.
#include "core/data/datamodule.h"
#include "core/data/users.h"
#include "testutil.h"

#include <QFile>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestDataModule : public QObject
{
    Q_OBJECT

private:
    // A database whose Payment table predates the large-value flag.
    static void makeOldDatabase(const QString& path)
    {
        {
            Connection conn;
            conn.open(path);
        }
        execSql(path, QStringLiteral("drop table Payment"));
        execSql(path,
                QStringLiteral("create table Payment (同城交易 NVARCHAR(1), 收款帐号 NVARCHAR(50), "
                               "溯枫帐号 NVARCHAR(1), "
                               "收款单位 NVARCHAR(50), 收款银行 NVARCHAR(50), 汇入地点 "
                               "NVARCHAR(50), 金额 INTEGER, "
                               "用途 NVARCHAR(50), 备注 NVARCHAR(100), 用户编号 NVARCHAR(50), "
                               "编号 INTEGER PRIMARY KEY AUTOINCREMENT)"));
        execSql(path,
                QStringLiteral(
                    "insert into Payment(收款帐号, 金额, 用户编号) values ('A1', 15000000, '1')"));
        execSql(path,
                QStringLiteral(
                    "insert into Payment(收款帐号, 金额, 用户编号) values ('A2', 2500, '0')"));
    }

private slots:
    void creationSetsTheNotLoggedInState()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        execSql(ws.path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('P1', '1')"));
        execSql(ws.path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('P0', '0')"));
        execSql(ws.path(),
                QStringLiteral("insert into Salary(员工编号, 用户编号) values ('S1', '1')"));
        execSql(ws.path(),
                QStringLiteral("insert into Drawee(付款帐号, 用户编号) values ('D1', '1')"));
        execSql(ws.path(), QStringLiteral("insert into Company(收款帐号) values ('123')"));
        execSql(ws.path(), QStringLiteral("insert into Company(收款帐号) values ('0')"));

        TDataModule2 dm;
        dm.create(ws.path());
        QCOMPARE(dm.CurrentUser, QStringLiteral("0"));
        QVERIFY(dm.LastUse.isEmpty());
        QCOMPARE(dm.ATPayment->filterText(), QStringLiteral("用户编号 = 0"));
        QCOMPARE(dm.ATSalary->filterText(), QStringLiteral("用户编号 = 0"));
        QCOMPARE(dm.ATDrawee->filterText(), QStringLiteral("用户编号 = 0"));
        QCOMPARE(dm.ATCompany->filterText(), QStringLiteral("收款帐号 = 0"));
        for (Table* t :
             {dm.ATPayment.get(), dm.ATCompany.get(), dm.ATSalary.get(), dm.ATDrawee.get()})
            QVERIFY(t->isFiltered());
        for (Table* t : {dm.ATUser.get(), dm.ATCompanyType.get(), dm.ATUse.get()})
            QVERIFY(!t->isFiltered());

        // Only user 0's rows and account "0" are presented before login.
        QCOMPARE(dm.ATPayment->recordCount(), 1);
        QCOMPARE(dm.ATPayment->text(u"收款帐号"), QStringLiteral("P0"));
        QCOMPARE(dm.ATSalary->recordCount(), 0);
        QCOMPARE(dm.ATDrawee->recordCount(), 0);
        QCOMPARE(dm.ATCompany->recordCount(), 1);
        QCOMPARE(dm.ATCompany->text(u"收款帐号"), QStringLiteral("0"));
        QCOMPARE(dm.ATUser->recordCount(), 1);

        // The data sources name their tables.
        QCOMPARE(dm.DataSource1->dataSet(), dm.ATPayment.get());
        QCOMPARE(dm.DSCompany->dataSet(), dm.ATCompany.get());
        QCOMPARE(dm.DSCompanyType->dataSet(), dm.ATCompanyType.get());

        // The command object runs SQL on the same connection.
        dm.ACmd->setCommandText(QStringLiteral("delete from Payment where 用户编号 = :u"));
        QCOMPARE(dm.ACmd->execute({QStringLiteral("1")}), 1);
        QCOMPARE(querySingle(ws.path(), QStringLiteral("select count(*) from Payment")).toInt(), 1);
    }

    void olderPaymentTableGetsTheFlag()
    {
        Workspace ws;
        makeOldDatabase(ws.path());
        TDataModule2 dm;
        dm.create(ws.path());
        const QList<QVariantList> cols =
            queryRows(ws.path(),
                      QStringLiteral(
                          "select type from pragma_table_info('Payment') where name = '大额实时'"));
        QCOMPARE(cols.size(), 1);
        QCOMPARE(cols.first().first().toString(), QStringLiteral("char(1)"));
        QCOMPARE(querySingle(ws.path(),
                             QStringLiteral("select count(*) from Payment where 大额实时 = '否'"))
                     .toInt(),
                 2);
        // The amounts and the rest of the rows are untouched.
        QCOMPARE(
            querySingle(ws.path(), QStringLiteral("select sum(金额) from Payment")).toLongLong(),
            15002500LL);
        QCOMPARE(dm.ATPayment->text(u"大额实时"), QStringLiteral("否"));
        QCOMPARE(dm.ATPayment->text(u"金额"), QStringLiteral("0.25"));
    }

    void currentPaymentTableIsLeftAlone()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        execSql(ws.path(),
                QStringLiteral(
                    "insert into Payment(收款帐号, 大额实时, 用户编号) values ('B1', '是', '0')"));
        execSql(ws.path(),
                QStringLiteral(
                    "insert into Payment(收款帐号, 大额实时, 用户编号) values ('B2', NULL, '0')"));
        const QString schemaBefore =
            querySingle(ws.path(),
                        QStringLiteral("select sql from sqlite_master where name = 'Payment'"))
                .toString();
        TDataModule2 dm;
        dm.create(ws.path());
        QCOMPARE(querySingle(ws.path(),
                             QStringLiteral("select sql from sqlite_master where name = 'Payment'"))
                     .toString(),
                 schemaBefore);
        QCOMPARE(querySingle(ws.path(),
                             QStringLiteral("select 大额实时 from Payment where 收款帐号 = 'B1'"))
                     .toString(),
                 QStringLiteral("是"));
        QVERIFY(querySingle(ws.path(),
                            QStringLiteral("select 大额实时 from Payment where 收款帐号 = 'B2'"))
                    .isNull());
    }

    void classificationNamesAreLookedUpAndCut()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        execSql(ws.path(),
                QStringLiteral(
                    "insert into CompanyType(type) values ('长期合作供应商单位')")); // 9 characters
        execSql(ws.path(), QStringLiteral("insert into CompanyType(type) values ('AB客户')"));
        execSql(ws.path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('0', '1')"));
        execSql(ws.path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('0', '2')"));
        execSql(ws.path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('0', '')"));
        execSql(ws.path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('0', '99')"));
        TDataModule2 dm;
        dm.create(ws.path());
        Table& c = *dm.ATCompany;
        QCOMPARE(c.recordCount(), 4);
        const int f = c.fieldIndex(u"CompanyType");
        QCOMPARE(f, 1); // shown after the account
        QCOMPARE(c.field(f).column.label, QStringLiteral("账号分类"));
        QCOMPARE(c.textAt(0, f), QStringLiteral("长期合作供")); // ten bytes of GBK
        QCOMPARE(c.textAt(1, f), QStringLiteral("AB客户"));
        QCOMPARE(c.textAt(2, f), QString());
        QCOMPARE(c.textAt(3, f), QString());
        QCOMPARE(dm.companyTypeName(QStringLiteral("1")), QStringLiteral("长期合作供"));
    }

    void rowNumbersFollowThePresentedSet()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        for (const char* acct : {"X1", "X2", "X3"})
            execSql(ws.path(),
                    QStringLiteral("insert into Payment(收款帐号, 用户编号) values (?, '0')"),
                    {QString::fromLatin1(acct)});
        execSql(ws.path(),
                QStringLiteral("insert into Payment(收款帐号, 用户编号) values ('Y', '5')"));
        TDataModule2 dm;
        dm.create(ws.path());
        Table& p = *dm.ATPayment;
        QCOMPARE(p.field(0).column.name, QStringLiteral("no"));
        QCOMPARE(p.text(u"no"), QStringLiteral("1"));
        p.moveTo(2);
        QCOMPARE(p.text(u"no"), QStringLiteral("3"));
        p.last(); // reaching the end starts a new instruction
        QVERIFY(p.isNewRow(p.currentRow()));
        QCOMPARE(p.text(u"no"), QStringLiteral("1")); // a new row has no position yet
        QCOMPARE(p.textAt(2, 0), QStringLiteral("3"));
    }

    void storedRowsReachTheFile()
    {
        Workspace ws;
        {
            TDataModule2 dm;
            dm.create(ws.path());
            Table& d = *dm.ATDrawee;
            d.append();
            d.setValue(u"付款帐号", QStringLiteral("9558801001234567890"));
            d.setValue(u"用户编号", QStringLiteral("0"));
            d.post();
            Table& u = *dm.ATUse;
            u.append();
            u.setValue(u"用途", QStringLiteral("差旅费"));
            u.post();
        }
        TDataModule2 again;
        again.create(ws.path());
        QCOMPARE(again.ATDrawee->recordCount(), 1);
        QCOMPARE(again.ATDrawee->text(u"付款帐号"), QStringLiteral("9558801001234567890"));
        QCOMPARE(again.ATUse->text(u"用途"), QStringLiteral("差旅费"));
    }

    void salaryAndPayerRowsCarryTheOwner()
    {
        Workspace ws;
        TDataModule2 dm;
        dm.create(ws.path());
        // Stored while nobody is logged in: the row belongs to user "0".
        Table& d = *dm.ATDrawee;
        d.append();
        d.setValue(u"付款帐号", QStringLiteral("A-0"));
        d.post();
        QCOMPARE(querySingle(ws.path(),
                             QStringLiteral("select 用户编号 from Drawee where 付款帐号 = 'A-0'"))
                     .toString(),
                 QStringLiteral("0"));

        dm.CurrentUser = QStringLiteral("1");
        for (Table* t : {dm.ATSalary.get(), dm.ATDrawee.get()}) {
            t->setFiltered(false);
            t->setFilterText(QStringLiteral("用户编号 = 1"));
            t->setFiltered(true);
        }
        Table& s = *dm.ATSalary;
        s.append();
        s.setValue(u"员工编号", QStringLiteral("E1"));
        s.setValue(u"用户编号", QStringLiteral("9")); // whatever was typed, the owner wins
        s.post();
        QCOMPARE(querySingle(ws.path(),
                             QStringLiteral("select 用户编号 from Salary where 员工编号 = 'E1'"))
                     .toString(),
                 QStringLiteral("1"));
        s.requery();
        QCOMPARE(s.recordCount(), 1); // still visible to its owner
    }

    // The picker's list: every classification, in pinyin order, not by code.
    void classificationListInChineseOrder()
    {
        Workspace ws;
        TDataModule2 dm;
        dm.create(ws.path());
        execSql(ws.path(),
                QStringLiteral("insert into CompanyType(type) values ('乙方'),('丙方'),('甲方')"));
        QStringList listed;
        for (const TDataModule2::CompanyTypeEntry& t : dm.companyTypeList())
            listed << t.id + QLatin1Char('=') + t.name;
        QCOMPARE(listed, (QStringList{QStringLiteral("2=丙方"), QStringLiteral("3=甲方"),
                                      QStringLiteral("1=乙方")}));
    }

    // Clearing takes the logged-in user's rows and the row being typed, nothing else.
    void clearCommandsTakeOnlyTheUsersRows()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        execSql(ws.path(), QStringLiteral("insert into Payment(收款帐号, 用户编号) values "
                                          "('P1', '1'), ('P2', '2'), ('P3', '1')"));
        execSql(ws.path(), QStringLiteral("insert into Salary(员工编号, 用户编号) values "
                                          "('S1', '1'), ('S2', '2')"));
        TDataModule2 dm;
        dm.create(ws.path());
        applyLogin(dm, QStringLiteral("1"));
        Table& p = *dm.ATPayment;
        p.first();
        p.editValue(u"收款帐号", QStringLiteral("typed"));
        dm.clearPayments();
        QCOMPARE(p.recordCount(), 0);
        // What is left is the untouched new instruction an empty list starts.
        QVERIFY(!p.isModified());
        QCOMPARE(p.text(u"收款帐号"), QString());
        const QString users = QStringLiteral("select group_concat(用户编号, ',') from %1");
        QCOMPARE(querySingle(ws.path(), users.arg(QStringLiteral("Payment"))).toString(),
                 QStringLiteral("2"));
        QCOMPARE(querySingle(ws.path(), users.arg(QStringLiteral("Salary"))).toString(),
                 QStringLiteral("1,2"));
        dm.clearSalary();
        QCOMPARE(dm.ATSalary->recordCount(), 0);
        QCOMPARE(querySingle(ws.path(), users.arg(QStringLiteral("Salary"))).toString(),
                 QStringLiteral("2"));
    }

    void damagedTableIsReported()
    {
        Workspace ws;
        {
            Connection conn;
            conn.open(ws.path());
        }
        for (int i = 0; i < 400; ++i)
            execSql(
                ws.path(),
                QStringLiteral("insert into Payment(收款帐号, 备注, 用户编号) values (?, ?, '0')"),
                {QString::number(i), QString(80, QChar(0x6CE8))});
        execSql(ws.path(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        // Overwrite pages after the first ones with garbage.
        QFile f(ws.path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        QVERIFY(size > 64 * 1024);
        QVERIFY(f.seek(size / 2));
        QVERIFY(f.write(QByteArray(16 * 1024, '\x5a')) > 0);
        f.close();
        QFile copy(ws.path());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray before = copy.readAll();
        copy.close();

        TDataModule2 dm;
        try {
            dm.create(ws.path());
            QFAIL("a damaged table was opened");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("data.db")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("损坏")), qPrintable(e.message()));
        }
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestDataModule)
#include "tst_datamodule.moc"
