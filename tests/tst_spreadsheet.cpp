// The payroll import from spreadsheets: the readers of .xls, .xlsx and .csv (active
// sheet, cells as text, lost digits, dates, damaged files) and the import itself.
#include "core/data/datamodule.h"
#include "core/data/users.h"
#include "core/import/salaryimport.h"
#include "core/import/spreadsheet.h"
#include "testutil.h"

#include <QFile>
#include <QtTest>
#include <sqlite3.h>

using namespace bankprep;
using namespace testutil;

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(BANKPREP_TEST_DATA "/") + QString::fromLatin1(name);
}

QStringList row(const Spreadsheet& s, int r, int columns)
{
    QStringList out;
    for (int c = 1; c <= columns; ++c)
        out << s.cell(r, c);
    return out;
}

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TDataModule2> dm;

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        dm = std::make_unique<TDataModule2>();
        dm->create(ws->path());
        applyLogin(*dm, QStringLiteral("1"));
    }
    void cleanup()
    {
        dm.reset();
        ws.reset();
    }

    void payrollInEveryFormat_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << fixture("payroll.xls");
        QTest::newRow("xlsx") << fixture("payroll.xlsx");
        QTest::newRow("csv GBK") << fixture("payroll-gbk.csv");
        QTest::newRow("csv UTF-8") << fixture("payroll-utf8.csv");
        QTest::newRow("active sheet xls") << fixture("twosheets.xls");
        QTest::newRow("active sheet xlsx") << fixture("twosheets.xlsx");
    }

    void payrollInEveryFormat()
    {
        QFETCH(QString, file);
        const Spreadsheet sheet = openSpreadsheet(file);
        QCOMPARE(spreadsheetTitles(sheet), (QStringList{"编号", "姓名", "卡号", "实发工资"}));
        QCOMPARE(row(sheet, 2, 4), (QStringList{"1001", "王小明", "6200000000000001", "3500.5"}));
        QCOMPARE(row(sheet, 3, 4), (QStringList{"1002", "李样本", "6200000000000002", "4200"}));
        QCOMPARE(row(sheet, 4, 4), (QStringList{"1003", "赵示例", "6200000000000003", "0.1"}));
        QCOMPARE(sheet.cell(5, 1), QString());

        const int stored = importSalary(*dm, sheet, {1, 2, 3, 4});
        QCOMPARE(stored, 3);
        QCOMPARE(salaryImportedMessage(stored), QStringLiteral("共导入数据3条。"));
        const QList<QVariantList> rows =
            queryRows(ws->path(),
                      QStringLiteral(
                          "select 员工编号, 姓名, 卡号, 金额, 用户编号 from Salary order by 编号"));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0), (QVariantList{"1001", "王小明", "6200000000000001", 35005000LL, "1"}));
        QCOMPARE(rows.at(2).at(3).toLongLong(), 1000LL); // 0.1 exactly
    }

    void importingTwiceAppendsTwice()
    {
        const Spreadsheet sheet = openSpreadsheet(fixture("payroll.xlsx"));
        Table& salary = *dm->ATSalary;
        QCOMPARE(importSalary(*dm, sheet, {1, 2, 3, 4}), 3);
        // Sorted by name (王, 李, 赵 in Chinese order): the rows of the next import still
        // come at the end in the file's order, the last one current, as rows typed in do.
        salary.setSortField(QStringLiteral("姓名"));
        QCOMPARE(importSalary(*dm, sheet, {1, 2, 3, 4}), 3);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Salary")).toInt(), 6);
        QCOMPARE(salary.recordCount(), 6);
        const int number = salary.fieldIndex(u"员工编号");
        QStringList order;
        for (int r = 0; r < 6; ++r)
            order << salary.textAt(r, number);
        QCOMPARE(order.mid(3), (QStringList{"1001", "1002", "1003"}));
        QCOMPARE(salary.currentRow(), 5);
    }

    void gapsAndBlankRows_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << fixture("gaps.xls");
        QTest::newRow("xlsx") << fixture("gaps.xlsx");
    }

    void gapsAndBlankRows()
    {
        QFETCH(QString, file);
        const Spreadsheet sheet = openSpreadsheet(file);
        QCOMPARE(spreadsheetTitles(sheet),
                 (QStringList{"编号", "姓名"}));             // the gap ends the titles
        QCOMPARE(importSalary(*dm, sheet, {1, 2, 4, 5}), 1); // the blank row ends the data
    }

    void emptyFirstNumberImportsNothing()
    {
        for (const char* f : {"emptyfirst.xls", "emptyfirst.xlsx"}) {
            const Spreadsheet sheet = openSpreadsheet(fixture(f));
            QCOMPARE(importSalary(*dm, sheet, {1, 2, 3, 4}), 0);
        }
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Salary")).toInt(), 0);
    }

    void cardNumbersAndDates_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << fixture("cards.xls");
        QTest::newRow("xlsx") << fixture("cards.xlsx");
    }

    void cardNumbersAndDates()
    {
        QFETCH(QString, file);
        const Spreadsheet sheet = openSpreadsheet(file);
        QCOMPARE(sheet.cell(2, 1), QStringLiteral("7")); // a whole number without ".0"
        QCOMPARE(sheet.cell(2, 3), QStringLiteral("6222021234567890123")); // kept as text
        QCOMPARE(sheet.cell(2, 5), QStringLiteral("2024-03-05"));
        // A card number typed as a number has lost its last digits: refused, not guessed.
        try {
            sheet.cell(3, 3);
            QFAIL("a number that lost digits was read");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("C3")), qPrintable(e.message()));
        }
        const QString refusal = refusalOf([&] { importSalary(*dm, sheet, {1, 2, 3, 4}); });
        QVERIFY2(refusal.startsWith(QStringLiteral("导入第3行时出错：单元格C3中的数字")) &&
                     refusal.endsWith(QStringLiteral("已导入数据1条。")),
                 qPrintable(refusal));
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 卡号 from Salary")).toString(),
                 QStringLiteral("6222021234567890123"));
        QCOMPARE(dm->ATSalary->state(), Table::State::Browse); // the unfinished row is gone
        QCOMPARE(dm->ATSalary->recordCount(), 1);
    }

    void refusedRowsNameTheirRow()
    {
        Spreadsheet sheet;
        parseCsv(QStringLiteral("编号,姓名,卡号,实发工资\n1,甲,c,10\n2,乙,c,abc\n3,丙,c,5\n"),
                 &sheet);
        QCOMPARE(refusalOf([&] {
                     importSalary(*dm, sheet, {1, 2, 3, 4});
                 }),
                 QStringLiteral("导入第3行时出错：实发工资“abc”不是有效的金额。已导入数据1条。"));

        Spreadsheet tooLong;
        parseCsv(QStringLiteral("编号,姓名,卡号,实发工资\n1,一二三四五六七八九十一,c,10\n"),
                 &tooLong);
        const QString refusal = refusalOf([&] { importSalary(*dm, tooLong, {1, 2, 3, 4}); });
        QVERIFY2(refusal.startsWith(QStringLiteral("导入第2行时出错：")) &&
                     refusal.contains(QStringLiteral("姓名")) &&
                     refusal.endsWith(QStringLiteral("已导入数据0条。")),
                 qPrintable(refusal));
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Salary")).toInt(), 1);
    }

    // A COMMIT the database refuses leaves nothing of the import, whether the list ended
    // or a row was refused; the salary table then shows what the database holds.
    void refusedCommitKeepsNothing()
    {
        sqlite3_commit_hook(
            dm->ADOConn.handle(), [](void*) { return 1; }, nullptr);
        for (const char* csv : {"编号,姓名,卡号,实发工资\n1,甲,c,10\n2,乙,c,20\n",
                                "编号,姓名,卡号,实发工资\n1,甲,c,10\n2,乙,c,abc\n"}) {
            Spreadsheet sheet;
            parseCsv(QString::fromUtf8(csv), &sheet);
            QCOMPARE(refusalOf([&] {
                         importSalary(*dm, sheet, {1, 2, 3, 4});
                     }),
                     QStringLiteral("数据不符合数据库的约束，未能保存（constraint failed）。"
                                    "（本次没有导入任何数据）"));
            QCOMPARE(dm->ATSalary->recordCount(), 0);
            QCOMPARE(dm->ATSalary->state(), Table::State::Browse);
        }
        sqlite3_commit_hook(dm->ADOConn.handle(), nullptr, nullptr);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Salary")).toInt(), 0);
    }

    // What real payroll sheets hold: a totals row under the list, computed amounts with
    // floating-point noise or more than four decimals, grouped amounts in a .csv.
    void realWorldPayrollRows()
    {
        Spreadsheet sheet;
        sheet.setDelimitedText(true);
        parseCsv(QStringLiteral("编号,姓名,卡号,实发工资\n1,甲,c,\"3,500.50\"\n2,乙,c,329.34825\n"
                                ",合计,,3829.85\n"),
                 &sheet);
        sheet.set(4, 1, {QStringLiteral("x"), false});
        sheet.set(4, 1, {}); // written twice: the last value counts
        QCOMPARE(importSalary(*dm, sheet, {1, 2, 3, 4}), 2);
        QCOMPARE(queryRows(ws->path(), QStringLiteral("select 金额 from Salary order by 编号")),
                 (QList<QVariantList>{{35005000}, {3293482}}));
        Spreadsheet grouped;
        parseCsv(QStringLiteral("编号,姓名,卡号,实发工资\n1,甲,c,\"123,4567\"\n"), &grouped);
        grouped.setDelimitedText(true);
        QCOMPARE(
            refusalOf([&] {
                importSalary(*dm, grouped, {1, 2, 3, 4});
            }),
            QStringLiteral("导入第2行时出错：实发工资“123,4567”不是有效的金额。已导入数据0条。"));
    }

    void datesAndTimes()
    {
        bool lost = false;
        auto date = [&](double v, bool date1904 = false) {
            return formattedNumberText(v, NumberFormat::Date, date1904, &lost);
        };
        QCOMPARE(date(1), QStringLiteral("1900-01-01"));
        QCOMPARE(date(59), QStringLiteral("1900-02-28"));
        QCOMPARE(date(60), QStringLiteral("1900-02-29")); // the application's calendar
        QCOMPARE(date(61), QStringLiteral("1900-03-01"));
        QCOMPARE(date(43708), QStringLiteral("2019-08-31"));
        QCOMPARE(date(43708, true), QStringLiteral("2023-09-01"));
        QCOMPARE(date(43708.5), QStringLiteral("2019-08-31 12:00:00"));
        QCOMPARE(date(-1), QStringLiteral("-1")); // no date has it
        QCOMPARE(formattedNumberText(0.46806, NumberFormat::Time, false, &lost),
                 QStringLiteral("11:14:00"));
        QCOMPARE(classifyNumberFormat(0, QStringLiteral("yyyy\"年\"m\"月\"d\"日\"")),
                 NumberFormat::Date);
        QCOMPARE(classifyNumberFormat(0, QStringLiteral("[h]:mm:ss")), NumberFormat::Time);
        QCOMPARE(classifyNumberFormat(0, QStringLiteral("yyyy-mm-dd hh:mm")),
                 NumberFormat::DateTime);
        QCOMPARE(classifyNumberFormat(0, QStringLiteral("[Red]#,##0.00;\"-\"0.00")),
                 NumberFormat::Number);
        QCOMPARE(classifyNumberFormat(14, QString()), NumberFormat::Date);
        QCOMPARE(classifyNumberFormat(2, QString()), NumberFormat::Number);
    }

    // Shared strings run over CONTINUE records, one cut in the middle of its characters.
    void continuedSharedStrings()
    {
        const Spreadsheet s = openSpreadsheet(fixture("continued.xls"));
        QCOMPARE(s.rowCount(), 401);
        QCOMPARE(row(s, 401, 4), (QStringList{"E000400", "王伟芳", "6222020200000000400", "3400"}));
        for (int r = 2; r <= 401; ++r)
            QVERIFY2(s.cell(r, 2).size() == 3, qPrintable(s.cell(r, 2)));
    }

    void csvQuoting()
    {
        Spreadsheet s;
        parseCsv(QStringLiteral("a,\"b,c\",\"say \"\"hi\"\"\",\" keep \"\r\n\"two\nlines\",,x"),
                 &s);
        QCOMPARE(row(s, 1, 4), (QStringList{"a", "b,c", "say \"hi\"", " keep "}));
        QCOMPARE(row(s, 2, 3), (QStringList{"two\nlines", "", "x"}));
    }

    void numberTexts()
    {
        bool lost = true;
        QCOMPARE(numberCellText(0.1, &lost), QStringLiteral("0.1"));
        QVERIFY(!lost);
        QCOMPARE(numberCellText(3500.5, &lost), QStringLiteral("3500.5"));
        QCOMPARE(numberCellText(-0.00001, &lost), QStringLiteral("-0.00001"));
        QCOMPARE(numberCellText(123456789012345.0, &lost), QStringLiteral("123456789012345"));
        QVERIFY(!lost);
        numberCellText(6222021234567890123.0, &lost);
        QVERIFY(lost);
        numberCellText(1e15, &lost); // a whole number of 16 digits
        QVERIFY(lost);
        // Computed amounts carry noise beyond the 15 digits the application shows.
        QCOMPARE(numberCellText(4200.5 - 88.8 - 0.1, &lost), QStringLiteral("4111.6"));
        QVERIFY(!lost);
        QCOMPARE(numberCellText(24030.95238095238, &lost), QStringLiteral("24030.9523809524"));
        QCOMPARE(numberCellText(0.1 + 0.2, &lost), QStringLiteral("0.3"));
        QCOMPARE(numberCellText(1e-20, &lost), QStringLiteral("0.00000000000000000001"));
        QCOMPARE(numberCellText(-1.5e20, &lost), QStringLiteral("-150000000000000000000"));
        QVERIFY(lost);
    }

    void damagedOrMismatchedFilesDoNotOpen()
    {
        const QString openFailed = QStringLiteral("文件打开失败。");
        auto refusalOpening = [](const QString& path) {
            return refusalOf([&] { openSpreadsheet(path); });
        };
        const QString fake = ws->path(QStringLiteral("fake.xls"));
        QFile f(fake);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is no spreadsheet");
        f.close();
        QCOMPARE(refusalOpening(fake), openFailed);
        QVERIFY(QFile::copy(fixture("payroll.xlsx"), ws->path(QStringLiteral("wrong.xls"))));
        QCOMPARE(refusalOpening(ws->path(QStringLiteral("wrong.xls"))), openFailed);
        QFile broken(ws->path(QStringLiteral("cut.xlsx")));
        QFile whole(fixture("payroll.xlsx"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(whole.read(whole.size() / 2));
        broken.close();
        QCOMPARE(refusalOpening(broken.fileName()), openFailed);
        const QString missing = refusalOpening(ws->path(QStringLiteral("missing.csv")));
        QVERIFY2(missing.contains(QStringLiteral("missing.csv")) &&
                     missing.contains(QStringLiteral("不存在")),
                 qPrintable(missing));
        QFile bad(ws->path(QStringLiteral("bad.csv")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("a,b\r\n\xFF\xFF,c\r\n");
        bad.close();
        QCOMPARE(refusalOpening(bad.fileName()), openFailed);
    }
};

QTEST_GUILESS_MAIN(TestSpreadsheet)
#include "tst_spreadsheet.moc"
