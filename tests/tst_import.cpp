// The delimited-text import: field extraction, notation, number checks, reading with
// every line end and encoding, the settings checks in order, the two passes and the
// round trips with the exported files.
#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/users.h"
#include "core/export/bankfiles.h"
#include "core/import/textimport.h"
#include "testutil.h"

#include <QFile>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

namespace {

ImportSettings settingsFor(const QMap<ImportField, int>& columns, int start,
                           const QString& sep = QStringLiteral("|"))
{
    ImportSettings s;
    s.separator = sep;
    s.yesText = QStringLiteral("是");
    s.noText = QStringLiteral("否");
    s.startLine = start;
    s.columns = columns;
    return s;
}

ImportSettings paymentDefaults(int start = 2)
{
    QMap<ImportField, int> cols;
    for (const ImportFieldDef& f : paymentImport().fields)
        cols.insert(f.field, f.defaultColumn);
    return settingsFor(cols, start);
}

// The message of the analysis pass's refusal of a line that `fn` throws; any other
// refusal, or none, says so instead.
template <typename Fn> QString lineRefusal(Fn&& fn)
{
    try {
        fn();
    } catch (const ImportLineError& e) {
        return e.message();
    } catch (const DbError& e) {
        return QStringLiteral("<not a line refusal> ") + e.message();
    }
    return QStringLiteral("<no refusal>");
}

// The line that `fn` refuses; 0 when it refuses none.
template <typename Fn> int refusedLine(Fn&& fn)
{
    try {
        fn();
    } catch (const ImportLineError& e) {
        return e.line();
    }
    return 0;
}

// A refusal of the settings: its message and the setting it points at.
struct FormRefusal
{
    QString message = QStringLiteral("<no refusal>");
    std::optional<ImportField> field;
};

FormRefusal formRefusal(const ImportForm& form, const ImportLayout& layout)
{
    try {
        checkImportForm(form, layout);
    } catch (const ImportFormError& e) {
        return {e.message(), e.field()};
    }
    return {};
}

ImportSettings payeeExportLayout()
{
    return settingsFor({{ImportField::PayeeName, 1},
                        {ImportField::Classification, 2},
                        {ImportField::PayeeBank, 3},
                        {ImportField::PayeeAccount, 4},
                        {ImportField::OwnBank, 5},
                        {ImportField::PayeePlace, 6},
                        {ImportField::Remark, 7},
                        {ImportField::CustomNo, 8}},
                       1);
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TDataModule2> dm;

    int count(const QString& sql) { return querySingle(ws->path(), sql).toInt(); }

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

    void getSubString_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("field");
        QTest::newRow("a||c col 1") << "a||c" << 1 << "|"
                                    << "a";
        QTest::newRow("a||c col 2") << "a||c" << 2 << "|"
                                    << "";
        QTest::newRow("a||c col 3") << "a||c" << 3 << "|"
                                    << "c";
        QTest::newRow("a||c col 4") << "a||c" << 4 << "|"
                                    << "";
        QTest::newRow("column 0") << "a||c" << 0 << "|"
                                  << "";
        QTest::newRow("a|b| col 3") << "a|b|" << 3 << "|"
                                    << "";
        QTest::newRow("no separator col 1") << "  whole line  " << 1 << "|"
                                            << "whole line";
        QTest::newRow("no separator col 2") << "whole" << 2 << "|"
                                            << "";
        QTest::newRow("blanks and tabs trimmed") << "x| \t in ner \t|y" << 2 << "|"
                                                 << "in ner";
        QTest::newRow("blanks only") << "x|   |y" << 2 << "|"
                                     << "";
        QTest::newRow("full-width space trimmed") << "x|\u3000甲\u3000|y" << 2 << "|"
                                                  << "甲";
        QTest::newRow("TAB") << "a\tb\tc" << 2 << "\t"
                             << "b";
        QTest::newRow("<Tab> typed") << "a<Tab>b\tc" << 2 << "<Tab>"
                                     << "b\tc";
        QTest::newRow("long separator skipped whole") << "a||b||c" << 3 << "||"
                                                      << "c";
        QTest::newRow("Chinese fields") << "东方|示例" << 2 << "|"
                                        << "示例";
    }

    void getSubString()
    {
        QFETCH(QString, line);
        QFETCH(int, column);
        QFETCH(QString, separator);
        QFETCH(QString, field);
        QCOMPARE(TextImport::getSubString(line, column, separator), field);
    }

    void separatorItems()
    {
        QCOMPARE(TextImport::separatorFromCombo(TextImport::tabItem()), QStringLiteral("\t"));
        QCOMPARE(TextImport::separatorFromCombo(QStringLiteral("<Tab>")), QStringLiteral("<Tab>"));
        QCOMPARE(TextImport::separatorFromCombo(QStringLiteral(",")), QStringLiteral(","));
    }

    void checkYesNo_data()
    {
        QTest::addColumn<QString>("notation");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("yes");
        QTest::addColumn<QString>("no");
        QTest::newRow("是/否") << "是/否" << true << "是"
                               << "否";
        QTest::newRow("Y/N") << "Y/N" << true << "Y"
                             << "N";
        QTest::newRow("two slashes") << "a/b/c" << true << "a"
                                     << "b/c";
        QTest::newRow("blank before slash") << "Y /N" << true << "Y "
                                            << "N";
        QTest::newRow("nothing before") << "/N" << false << ""
                                        << "";
        QTest::newRow("nothing after") << "Y/" << false << ""
                                       << "";
        QTest::newRow("no slash") << "YN" << false << ""
                                  << "";
        QTest::newRow("empty") << "" << false << ""
                               << "";
    }

    void checkYesNo()
    {
        QFETCH(QString, notation);
        QFETCH(bool, ok);
        QFETCH(QString, yes);
        QFETCH(QString, no);
        if (ok) {
            const TextImport::YesNo yesNo = TextImport::checkYesNo(notation);
            QCOMPARE(yesNo.yes, yes);
            QCOMPARE(yesNo.no, no);
        } else {
            QCOMPARE(refusalOf([&] { TextImport::checkYesNo(notation); }),
                     QStringLiteral("是/否标志格式应是以‘/’为分隔符的两个字符串"));
        }
    }

    void checkNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blankAllowed");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<int>("value");
        const QString blank = QStringLiteral("收款账号不能为空值");
        const QString notNumber = QStringLiteral("收款账号应填数字");
        const QString negative = QStringLiteral("收款账号不能为负数");
        QTest::newRow("number") << "7" << false << QString() << 7;
        QTest::newRow("zero") << "0" << false << QString() << 0;
        QTest::newRow("blank refused") << "" << false << blank << 0;
        QTest::newRow("blank allowed") << "" << true << QString() << 0;
        QTest::newRow("letters") << "x" << true << notNumber << 0;
        QTest::newRow("blanks are not empty") << "  " << true << notNumber << 0;
        QTest::newRow("fraction") << "1.5" << true << notNumber << 0;
        QTest::newRow("negative") << "-1" << true << negative << 0;
        QTest::newRow("trailing blank") << "3 " << true << notNumber << 0;
        QTest::newRow("leading blank") << " 3" << true << notNumber << 0;
    }

    void checkNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, blankAllowed);
        QFETCH(QString, refusal);
        QFETCH(int, value);
        const QString label = QStringLiteral("收款账号");
        if (refusal.isEmpty())
            QCOMPARE(TextImport::checkNumber(text, blankAllowed, label), value);
        else
            QCOMPARE(refusalOf([&] { TextImport::checkNumber(text, blankAllowed, label); }),
                     refusal);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
        QTest::newRow("CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("last line without break") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("empty line inside") << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("NUL ends the text")
            << QByteArray("a\r\nb\0c\r\nd", 9) << QStringList{"a", "b"};
        QTest::newRow("GBK") << gbk("是|否\r\n") << QStringList{"是|否"};
        QTest::newRow("UTF-8 with its mark") << QByteArray("\xEF\xBB\xBF"
                                                           "是|否\r\n")
                                             << QStringList{"是|否"};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }

    void lineEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        TextImport::Lines read;
        QCOMPARE(refusalOf([&] { read = TextImport::decodeLines(bytes); }),
                 QStringLiteral("<no refusal>"));
        QCOMPARE(read.toList(), lines);
    }

    void badBytesNameTheirLine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::newRow("0xFF in GBK") << QByteArray("ok\r\nbad\xFFhere\r\n") << 2;
        QTest::newRow("lead byte at line end") << QByteArray("a\r\nb\r\nc\xB7\r\n") << 3;
        QTest::newRow("broken UTF-8") << QByteArray("\xEF\xBB\xBF"
                                                    "ok\n\xE6\x98\n")
                                      << 2;
        QTest::newRow("GBK read as UTF-8") << (QByteArray("\xEF\xBB\xBF") + gbk("是")) << 1;
    }

    void badBytesNameTheirLine()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QCOMPARE(refusedLine([&] { TextImport::decodeLines(bytes); }), line);
        QCOMPARE(lineRefusal([&] { importPayments(*dm, bytes, paymentDefaults(1)); }),
                 QStringLiteral("第%1行含有无法识别的字符，导入中止！").arg(line));
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 0);

        // A heading the import skips may hold anything.
        QByteArray skipped = "title \xFF\xFE\r\n";
        skipped += "310100|" + gbk("否") + "|62220001|" + gbk("单位") + "|" + gbk("行") + "|" +
                   gbk("上海") + "|1.5e2|||" + gbk("否") + "\r\n";
        QVERIFY(!importPayments(*dm, skipped, paymentDefaults(2)).interrupted);
        QCOMPARE(count(QStringLiteral("select 金额 from Payment")), 1500000); // 1.5e2 exactly
    }

    void settingsAreCheckedInOrder()
    {
        const QString file = ws->path(QStringLiteral("in.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        ImportForm form;
        form.separatorText = QString();
        form.file = QStringLiteral("/no/such/file");
        form.startText = QStringLiteral("1");
        form.yesNoText = QStringLiteral("是");
        auto check = [&](const ImportLayout& l) { return formRefusal(form, l); };
        FormRefusal c = check(paymentImport());
        QCOMPARE(c.message, QStringLiteral("请输入一个分隔符"));
        QCOMPARE(c.field, ImportField::Separator);
        form.separatorText = QStringLiteral("|");
        QCOMPARE(check(paymentImport()).message, QStringLiteral("该文件不存在！"));
        form.file = file;
        // The payee window has no defaults: the account column comes first.
        c = check(payeeImport());
        QCOMPARE(c.message, QStringLiteral("收款账号不能为空值"));
        QCOMPARE(c.field, ImportField::PayeeAccount);
        for (ImportField f :
             {ImportField::PayeeAccount, ImportField::PayeeName, ImportField::PayeeBank})
            form.columnTexts.insert(f, QStringLiteral("1"));
        form.columnTexts.insert(ImportField::OwnBank, QStringLiteral("x"));
        QCOMPARE(check(payeeImport()).message, QStringLiteral("是否溯枫账号应填数字"));
        form.columnTexts.insert(ImportField::OwnBank, QString());
        form.startText = QString();
        QCOMPARE(check(payeeImport()).message, QStringLiteral("起始导入行号不能为空值"));
        form.startText = QStringLiteral("0");
        QCOMPARE(check(payeeImport()).message, QStringLiteral("起始导入行号应大于0"));
        form.startText = QStringLiteral("1");
        QCOMPARE(check(payeeImport()).message,
                 QStringLiteral("是/否标志格式应是以‘/’为分隔符的两个字符串"));
        form.yesNoText = QStringLiteral("是/否");
        QCOMPARE(check(payeeImport()).message, QStringLiteral("<no refusal>"));

        // The payment window: blank start reads 0 and fails the lowest, 2.
        form.columnTexts = paymentImport().defaultTexts();
        form.startText = QString();
        c = check(paymentImport());
        QCOMPARE(c.message, QStringLiteral("起始导入行号应大于1"));
        QCOMPARE(c.field, ImportField::StartLine);
        form.columnTexts.insert(ImportField::Purpose, QString());
        QCOMPARE(check(paymentImport()).message, QStringLiteral("用途不能为空值"));
        form.columnTexts.insert(ImportField::Purpose, QStringLiteral("8"));
        form.columnTexts.insert(ImportField::PayeeAccount, QStringLiteral("-3"));
        form.columnTexts.insert(ImportField::OwnBank, QStringLiteral("x"));
        QCOMPARE(check(paymentImport()).message,
                 QStringLiteral("收款账号不能为负数")); // the account is checked first
    }

    void paymentExportImportsBack()
    {
        execSql(ws->path(),
                QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, "
                               "收款银行, 汇入地点, 金额, 用途, 备注, "
                               "大额实时, 用户编号) values "
                               "('否','否','4410000123','东方示例公司','示例银行上海分行','上海',"
                               "15005000,'货款',NULL,'是','1'),"
                               "('否','是','1210000456','西城样本厂','示例银行北京分行','北京',"
                               "200000000,'工程款','二期','否','1')"));
        dm->ATPayment->requery();
        const QByteArray exported =
            buildPaymentFile(*dm->ATPayment, QStringLiteral("310100100100"));
        execSql(ws->path(), QStringLiteral("delete from Payment"));
        const ImportReport out = importPayments(*dm, exported, paymentDefaults());
        QVERIFY(!out.interrupted);
        QCOMPARE(out.messages, QStringList{QStringLiteral("已成功导入2个记录")});
        const QList<QVariantList> rows =
            queryRows(ws->path(), QStringLiteral("select 用户编号, 溯枫帐号, 收款帐号, 收款单位, "
                                                 "收款银行, 汇入地点, 金额, 用途, 备注, 大额实时, "
                                                 "同城交易 from Payment order by 编号"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).mid(0, 10),
                 (QVariantList{"1", "否", "4410000123", "东方示例公司", "示例银行上海分行", "上海",
                               15005000LL, "货款", " ", "是"}));
        QVERIFY(rows.at(0).at(10).isNull()); // the same-city flag is not written
        QCOMPARE(rows.at(1).at(6).toLongLong(), 200000000LL);
        QCOMPARE(rows.at(1).at(8).toString(), QStringLiteral("二期"));
        dm->ATPayment->requery(); // as the window does after a successful run
        QCOMPARE(dm->ATPayment->recordCount(), 2);
        // Exported again, the space stands in the remark field.
        QVERIFY(
            buildPaymentFile(*dm->ATPayment, QStringLiteral("P")).contains(gbk("|货款| |是\r\n")));
    }

    void payeeExportImportsBack()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        execSql(
            ws->path(),
            QStringLiteral(
                "insert into Company(收款单位, 账号分类, 收款银行, 收款帐号, 溯枫帐号, 汇入地点, "
                "备注, 自定编号) "
                "values "
                "('东方示例公司','1','示例银行上海分行','4410000123','否','上海','月结','A001'),"
                "('西城样本厂','','示例银行北京分行','1210000456','是','北京',NULL,'B002')"));
        dm->ATCompanyType->requery();
        dm->ATCompany->requery();
        const QByteArray exported = buildPayeeFile(*dm->ATCompany);
        execSql(ws->path(), QStringLiteral("delete from Company"));
        const ImportReport out = importPayees(*dm, exported, payeeExportLayout());
        QVERIFY(!out.interrupted);
        QCOMPARE(out.messages, QStringList{QStringLiteral("已成功导入2个往来账号")});
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 1); // found by name
        dm->ATCompany->requery();
        QCOMPARE(buildPayeeFile(*dm->ATCompany), exported);
    }

    void newClassIsCreatedOnce()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('客户')"));
        const QByteArray file = gbk("甲|新类|银行|1|是\r\n乙|新类|银行|2|否\r\n丙|客户|银行|3|"
                                    "Y\r\n丁|客戶|银行|4|\r\n戊||银行|5|\r\n");
        const ImportReport out = importPayees(*dm, file, payeeExportLayout());
        QVERIFY(!out.interrupted);
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 3); // 客户, 新类, 客戶
        const QList<QVariantList> rows = queryRows(
            ws->path(),
            QStringLiteral("select 收款帐号, 账号分类, 溯枫帐号 from Company order by 编号"));
        QCOMPARE(rows.at(0).at(1).toString(), QStringLiteral("2"));
        QCOMPARE(rows.at(1).at(1).toString(), QStringLiteral("2"));
        QCOMPARE(rows.at(2).at(1).toString(), QStringLiteral("1"));
        QCOMPARE(rows.at(3).at(1).toString(), QStringLiteral("3"));
        QCOMPARE(rows.at(4).at(1).toString(), QString());
        QCOMPARE(rows.at(0).at(2).toString(), QStringLiteral("是"));
        QCOMPARE(rows.at(2).at(2).toString(), QStringLiteral("否")); // Y is not 是
        QCOMPARE(dm->ATCompanyType->recordCount(), 3); // the classification page sees them
    }

    void analysisRefusesBeforeWriting_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        const QByteArray head("header\r\n");
        const QByteArray good = gbk("P|否|A1|甲|银行|地|10|货款|备注|否\r\n");
        QTest::newRow("account empty") << head + good + gbk("P|否||甲|银行|地|10|货款||否\r\n")
                                       << QStringLiteral("第3行收款账号为空，导入中止！");
        QTest::newRow("both empty reports the account")
            << head + gbk("P|否|||||||否\r\n") << QStringLiteral("第2行收款账号为空，导入中止！");
        QTest::newRow("amount empty") << head + gbk("P|否|A|甲|银行|地||货款||否\r\n")
                                      << QStringLiteral("第2行金额为空，导入中止！");
        QTest::newRow("thousands separator")
            << head + good + gbk("P|否|A|甲|银行|地|1,500.00|货款||否\r\n")
            << QStringLiteral("第3行金额格式错误，导入中止！");
        QTest::newRow("letters in the amount") << head + gbk("P|否|A|甲|银行|地|12元|货款||否\r\n")
                                               << QStringLiteral("第2行金额格式错误，导入中止！");
        QTest::newRow("name too long")
            << head + good + gbk("P|否|A|") + QByteArray(51, 'N') + gbk("|银行|地|1|货款||否\r\n")
            << QStringLiteral("第3行收款单位超出长度，导入中止！");
        QTest::newRow("empty line") << head + good + QByteArray("\r\n") + good
                                    << QStringLiteral("第3行收款账号为空，导入中止！");
    }

    void analysisRefusesBeforeWriting()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        QCOMPARE(lineRefusal([&] { importPayments(*dm, file, paymentDefaults()); }), message);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 0);
    }

    void flagsFollowTheNotation()
    {
        ImportSettings s = paymentDefaults();
        s.yesText = QStringLiteral("1");
        const QByteArray file("h\r\nP| 1 |A|n|b|p|5|u|r|Y\r\nP|0|B|n|b|p|5|u|r| 1\r\n");
        QVERIFY(!importPayments(*dm, file, s).interrupted);
        const QList<QVariantList> rows = queryRows(
            ws->path(), QStringLiteral("select 溯枫帐号, 大额实时 from Payment order by 编号"));
        QCOMPARE(rows.at(0), (QVariantList{"是", "否"}));
        QCOMPARE(rows.at(1), (QVariantList{"否", "是"}));
    }

    void startBeyondTheEndImportsNothing()
    {
        const ImportReport out =
            importPayments(*dm, gbk("h\r\nP|否|A|n|b|p|5|u|r|否\r\n"), paymentDefaults(7));
        QVERIFY(!out.interrupted);
        QCOMPARE(out.messages, QStringList{QStringLiteral("已成功导入0个记录")});
        ImportSettings payee = payeeExportLayout();
        payee.startLine = 9;
        const ImportReport payees = importPayees(*dm, QByteArray("a|b|c|d\r\n"), payee);
        QCOMPARE(payees.messages, QStringList{QStringLiteral("已成功导入0个往来账号")});
        QVERIFY(!payees.interrupted);
    }

    void interruptedInsertKeepsEarlierRows()
    {
        // The database refuses the third record; the analysis cannot foresee it.
        execSql(ws->path(),
                QStringLiteral(
                    "CREATE TRIGGER refuse BEFORE INSERT ON Payment WHEN NEW.收款帐号 = 'BAD' "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        const QByteArray file("h\r\nP|N|A|n|b|p|1|u|r|N\r\nP|N|B|n|b|p|2|u|r|N\r\nP|N|BAD|n|b|p|3|"
                              "u|r|N\r\nP|N|C|n|b|p|4|u|r|N\r\n");
        const ImportReport out = importPayments(*dm, file, paymentDefaults());
        QVERIFY(out.interrupted);
        QCOMPARE(out.count, 2);
        QCOMPARE(out.messages, (QStringList{QStringLiteral("在导入第3行数据时出错，导入中断！"),
                                            QStringLiteral("在导入2个支付指令后中断")}));
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 2);
    }

    void largeImportIsQuick()
    {
        // One transaction: 20,000 rows in well under the time of 20,000 separate commits.
        QByteArray file("h\r\n");
        for (int i = 0; i < 20000; ++i)
            file += "P|N|" + QByteArray::number(i) + "|n|b|p|1.5|u|r|N\r\n";
        const ImportReport out = importPayments(*dm, file, paymentDefaults());
        QVERIFY(!out.interrupted);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 20000);
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select sum(金额) from Payment")).toLongLong(),
            20000LL * 15000);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
