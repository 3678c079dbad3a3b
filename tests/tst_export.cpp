// The bank files, byte for byte: the worked examples, empty lists, amounts at the
// extremes, payroll splitting, values the bank's encoding cannot hold, and writes that
// fail without damaging an earlier file.
#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/users.h"
#include "core/export/bankfiles.h"
#include "testutil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

class TestExport : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TDataModule2> dm;

    void open()
    {
        dm = std::make_unique<TDataModule2>();
        dm->create(ws->path());
        applyLogin(*dm, QStringLiteral("1"));
    }
    void sql(const QString& s, const QVariantList& p = {}) { execSql(ws->path(), s, p); }

    void addPayment(const QVariantList& v)
    {
        sql(QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, 收款银行, "
                           "汇入地点, 金额, 用途, 备注, "
                           "大额实时, 用户编号) values (?,?,?,?,?,?,?,?,?,?,?)"),
            v);
    }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        Connection c;
        c.open(ws->path());
    }
    void cleanup()
    {
        dm.reset();
        ws.reset();
    }

    void encoderIsStrict()
    {
        QByteArray out("x");
        QVERIFY(GbkEncoder::instance().append(out, u"是否"));
        QCOMPARE(out, QByteArray("x\xCA\xC7\xB7\xF1"));
        QVERIFY(!GbkEncoder::instance().append(out, u"a😀b"));
        QCOMPARE(out, QByteArray("x\xCA\xC7\xB7\xF1")); // nothing appended on refusal
        QVERIFY(!GbkEncoder::instance().append(out, u"한"));
        const QByteArray utf8 = QStringLiteral("东方|Ab1").toUtf8();
        QByteArray viaUtf8;
        QVERIFY(GbkEncoder::instance().appendUtf8(viaUtf8, utf8.constData(), utf8.size()));
        QCOMPARE(viaUtf8, gbk("东方|Ab1"));
        QVERIFY(!GbkEncoder::instance().appendUtf8(viaUtf8, "\xE4\xB8", 2)); // cut UTF-8
        QCOMPARE(GbkEncoder::firstUnencodable(u"好한好"), QStringLiteral("한"));
        QCOMPARE(truncateToGbkBytes(QStringLiteral("😀AB客户"), 10), QStringLiteral("😀AB客户"));
    }

    void paymentWorkedExample()
    {
        addPayment({"否", "否", "4410000123", "东方示例公司", "示例银行上海分行", "上海", 15005000,
                    "货款", QVariant(), "是", "1"});
        addPayment({"否", "是", "1210000456", "西城样本厂", "示例银行北京分行", "北京", 200000000,
                    "工程款", "二期", "否", "1"});
        addPayment(
            {"是", "否", "999", "别人的", "", "", 10000, "", "", "否", "2"}); // another user's
        open();
        const int before = dm->ATPayment->currentRow();
        const QByteArray file = buildPaymentFile(*dm->ATPayment, QStringLiteral("310100100100"));
        QByteArray expected = gbk(
            "2|21500.5\r\n"
            "310100100100|否|4410000123|东方示例公司|示例银行上海分行|上海|1500.5|货款||是\r\n"
            "310100100100|是|1210000456|西城样本厂|示例银行北京分行|北京|20000|工程款|二期|否\r\n");
        QCOMPARE(file, expected);
        QCOMPARE(dm->ATPayment->currentRow(), before); // the cursor did not move
    }

    void emptyLists()
    {
        open();
        QCOMPARE(buildPaymentFile(*dm->ATPayment, QStringLiteral("1")), QByteArray("0|0\r\n"));
        QCOMPARE(buildSalaryFiles(*dm->ATSalary, 0),
                 QList<QByteArray>{gbk("编号,姓名,卡号,实发工资\r\n")});
        QCOMPARE(buildSalaryFiles(*dm->ATSalary, 5),
                 QList<QByteArray>{gbk("编号,姓名,卡号,实发工资\r\n")});
        QCOMPARE(buildPayeeFile(*dm->ATCompany), QByteArray());
    }

    void amountsAtTheExtremes()
    {
        addPayment({"是", "否", "A", "", "", "",
                    QVariant::fromValue<qlonglong>(std::numeric_limits<qint64>::max()), "", "",
                    "否", "1"});
        addPayment({"是", "否", "B", "", "", "", -5000, "", "", "否", "1"});
        addPayment({"是", "否", "C", "", "", "", QVariant(), "", "", "否", "1"});
        open();
        const QByteArray file = buildPaymentFile(*dm->ATPayment, QStringLiteral("P"));
        // The largest amount, a negative one and a missing one (empty field, counted as 0).
        QCOMPARE(file, QByteArray("3|922337203685477.0807\r\n"
                                  "P|\xB7\xF1|A||||922337203685477.5807|||\xB7\xF1\r\n"
                                  "P|\xB7\xF1|B||||-0.5|||\xB7\xF1\r\n"
                                  "P|\xB7\xF1|C|||||||\xB7\xF1\r\n"));

        // A total that would leave the money range is refused, not wrapped.
        sql(QStringLiteral(
            "insert into Payment(收款帐号, 金额, 用户编号) values ('D', 10000, '1')"));
        sql(QStringLiteral("update Payment set 金额 = 9223372036854775807 where 收款帐号 = 'B'"));
        dm->ATPayment->requery();
        QVERIFY_THROWS_EXCEPTION(DbError, buildPaymentFile(*dm->ATPayment, QStringLiteral("P")));
    }

    void separatorsAreWrittenUnchanged()
    {
        addPayment({"是", "否", "A|B", "甲|乙", " 空格 ", "", 10000, "", "", "否", "1"});
        open();
        const QByteArray file = buildPaymentFile(*dm->ATPayment, QStringLiteral("P"));
        QVERIFY(file.endsWith(gbk("P|否|A|B|甲|乙| 空格 ||1|||否\r\n")));
    }

    void unencodableValueIsRefused()
    {
        addPayment({"是", "否", "A", "正常公司", "", "", 10000, "", "", "否", "1"});
        addPayment({"是", "否", "B", "Café 😀", "", "", 10000, "", "", "否", "1"});
        open();
        try {
            buildPaymentFile(*dm->ATPayment, QStringLiteral("P"));
            QFAIL("a value without a GBK form was exported");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("第2行")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("收款单位")), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("😀")));
        }
    }

    void salaryWorkedExample()
    {
        sql(QStringLiteral("insert into Salary(员工编号, 姓名, 卡号, 金额, 用户编号) values "
                           "('1001','王小明','6200000000000001',35005000,'1'),"
                           "('1002','李样本','6200000000000002',42000000,'1'),"
                           "('1003','赵示例','6200000000000003',NULL,'1'),"
                           "('9999','别人','1',1,'2')"));
        open();
        const QByteArray header = gbk("编号,姓名,卡号,实发工资\r\n");
        QCOMPARE(header, QByteArray("\xB1\xE0\xBA\xC5\x2C\xD0\xD5\xC3\xFB\x2C\xBF\xA8\xBA\xC5\x2C"
                                    "\xCA\xB5\xB7\xA2\xB9\xA4"
                                    "\xD7\xCA\x0D\x0A"));
        const QByteArray l1 = gbk("1001,王小明,6200000000000001,3500.5\r\n");
        const QByteArray l2 = gbk("1002,李样本,6200000000000002,4200\r\n");
        const QByteArray l3 = gbk("1003,赵示例,6200000000000003,0\r\n");
        QCOMPARE(buildSalaryFiles(*dm->ATSalary, 0), QList<QByteArray>{header + l1 + l2 + l3});
        QCOMPARE(buildSalaryFiles(*dm->ATSalary, 1),
                 (QList<QByteArray>{header + l1, header + l2, header + l3}));
        QCOMPARE(pieceNames(QStringLiteral("gz.txt"), 3),
                 (QStringList{"gz.txt.1", "gz.txt.2", "gz.txt.3"}));
    }

    void salarySplitBoundaries_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("perFile");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("20 by 10") << 20 << 10 << QList<int>{10, 10};
        QTest::newRow("25 by 10") << 25 << 10 << QList<int>{10, 10, 5};
        QTest::newRow("n equals count") << 25 << 25 << QList<int>{25};
        QTest::newRow("n above count") << 25 << 100 << QList<int>{25};
        QTest::newRow("n zero") << 25 << 0 << QList<int>{25};
        QTest::newRow("n negative") << 25 << -3 << QList<int>{25};
        QTest::newRow("one row") << 1 << 1 << QList<int>{1};
    }

    void salarySplitBoundaries()
    {
        QFETCH(int, count);
        QFETCH(int, perFile);
        QFETCH(QList<int>, pieces);
        sql(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < ?) "
                "INSERT INTO Salary(员工编号, 姓名, 卡号, 金额, 用户编号) SELECT i, 'N', 'C', i * "
                "10000, '1' FROM n"),
            {count});
        open();
        const QList<QByteArray> files = buildSalaryFiles(*dm->ATSalary, perFile);
        QCOMPARE(files.size(), pieces.size());
        int next = 1;
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QList<QByteArray> lines = files.at(i).split('\n');
            QCOMPARE(lines.size() - 2,
                     pieces.at(i)); // header, rows, empty tail after the last CR LF
            // Every row exactly once, in order.
            for (int k = 0; k < pieces.at(i); ++k, ++next)
                QVERIFY(lines.at(k + 1).startsWith(QByteArray::number(next) + ','));
        }
        QCOMPARE(next, count + 1);
    }

    void payeeWorkedExample()
    {
        sql(QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        sql(QStringLiteral(
            "insert into Company(收款单位, 账号分类, 收款银行, 收款帐号, 溯枫帐号, 汇入地点, 备注, "
            "自定编号) values "
            "('东方示例公司','1','示例银行上海分行','4410000123','否','上海','月结','A001'),"
            "('西城样本厂','','示例银行北京分行','1210000456','是','北京',NULL,'B002'),"
            "('无备注','99','某行','1','否','',NULL,NULL)"));
        open();
        QCOMPARE(buildPayeeFile(*dm->ATCompany),
                 gbk("东方示例公司|供应商|示例银行上海分行|4410000123|否|上海|月结|A001\r\n"
                     "西城样本厂||示例银行北京分行|1210000456|是|北京||B002\r\n"
                     "无备注||某行|1|否|||\r\n"));
    }

    void failedWritesLeaveTheOldFile()
    {
        const QString target = ws->path(QStringLiteral("out.txt"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old contents\r\n");
        }
        // A file that cannot be created: nothing of the batch replaces anything.
        const QString blocked = ws->path(QStringLiteral("no-such-folder/x.txt"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, writeFilesAtomically({target, blocked}, {QByteArray("new"), QByteArray("y")}));
        QCOMPARE(readFile(target), QByteArray("old contents\r\n"));
        QCOMPARE(QDir(ws->path(QString())).entryList(QDir::Files | QDir::Hidden).size(),
                 2); // data.db, out.txt
    }

    void successfulWritesReplaceWhole()
    {
        const QString a = ws->path(QStringLiteral("gz.txt.1"));
        const QString b = ws->path(QStringLiteral("gz.txt.2"));
        writeFilesAtomically({a, b}, {QByteArray("one\r\n"), QByteArray()});
        QCOMPARE(readFile(a), QByteArray("one\r\n"));
        QCOMPARE(readFile(b), QByteArray());
        writeFilesAtomically({a}, {QByteArray("1")});
        QCOMPARE(readFile(a), QByteArray("1"));
    }

    void rowBeingTypedIsStoredFirst()
    {
        open();
        Table& s = *dm->ATSalary;
        s.append();
        s.setValue(u"员工编号", QStringLiteral("7"));
        s.setValue(u"金额", QStringLiteral("12.5"));
        const QList<QByteArray> files = buildSalaryFiles(s, 0);
        QCOMPARE(files.first(), gbk("编号,姓名,卡号,实发工资\r\n7,,,12.5\r\n"));
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Salary")).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
