// bankprep-cli as other tools call it: exit statuses, messages on standard error and
// the files it writes.
#include "core/data/connection.h"
#include "core/data/gbk.h"
#include "core/data/passwordhash.h"
#include "core/import/importprofile.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

using namespace bankprep;
using namespace testutil;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;

    Run cli(const QStringList& args, const std::optional<QString>& password = QString())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("BANKPREP_PASSWORD"));
        if (password)
            env.insert(QStringLiteral("BANKPREP_PASSWORD"), *password);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(ws->path(QString()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(BANKPREP_CLI), args);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString path(const char* name) const { return ws->path(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        {
            Connection c;
            c.open(ws->path());
        }
        const QString db = ws->path();
        execSql(db, QStringLiteral("insert into Drawee(付款帐号, 用户编号) values ('310100100100', "
                                   "'1'), ('OTHER', '2')"));
        execSql(db, QStringLiteral("insert into Payment(同城交易, 溯枫帐号, 收款帐号, 收款单位, "
                                   "收款银行, 汇入地点, 金额, 用途, 备注, "
                                   "大额实时, 用户编号) values "
                                   "('否','否','4410000123','东方示例公司','示例银行上海分行','"
                                   "上海',15005000,'货款',NULL,'是','1'),"
                                   "('否','是','1210000456','西城样本厂','示例银行北京分行','北京',"
                                   "200000000,'工程款','二期','否','1'),"
                                   "('是','否','X','他人','','',1,'','','否','2')"));
    }

    void helpListsEveryCommand()
    {
        const Run r = cli({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        for (const char* word : {"export-payments",
                                 "export-salary",
                                 "export-payees",
                                 "--db",
                                 "--payer",
                                 "-o",
                                 "--rows-per-file",
                                 "BANKPREP_PASSWORD",
                                 "backup",
                                 "list-backups",
                                 "restore",
                                 "export-log",
                                 "verify",
                                 "--allow-duplicates",
                                 "import-log",
                                 "undo-import",
                                 "--profile",
                                 "--encoding",
                                 "--allow-same-file",
                                 "--keep-changed",
                                 "--remove-changed",
                                 "print-payments",
                                 "print-salary"})
            QVERIFY2(r.out.contains(QString::fromLatin1(word)), word);
    }

    // The list for signature: exactly the user's instructions an export writes, the count
    // and total in figures and capitals, every page numbered; refusals write nothing.
    void printedListsForSignature()
    {
        const QString db = ws->path();
        for (int i = 0; i < 60; ++i)
            execSql(db,
                    QStringLiteral("insert into Payment(收款帐号, 收款单位, 金额, 用户编号) "
                                   "values (?, '批量单位', 12345, '1')"),
                    {QStringLiteral("62%1").arg(i)});
        const Run r = cli({QStringLiteral("print-payments"), QStringLiteral("--payer"),
                           QStringLiteral("310100100100"), QStringLiteral("-o"), path("zf.pdf")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // no notes of the graphical platform
        QCOMPARE(r.out.trimmed(),
                 QStringLiteral("已将支付清单打印到“%1”：共62笔，合计金额21,574.57元。")
                     .arg(path("zf.pdf")));
        const QString text = pdfText(path("zf.pdf"));
        for (const QString& expected :
             {QStringLiteral("支付清单"), QStringLiteral("付款帐号：310100100100"),
              QStringLiteral("东方示例公司"), QStringLiteral("6259"),
              QStringLiteral("共62笔，合计金额21,574.57元"),
              QStringLiteral("人民币大写：贰万壹仟伍佰柒拾肆元伍角柒分"), QStringLiteral("制单："),
              QStringLiteral("复核："), QStringLiteral("审批：")})
            QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral("\n") + text));
        // Every page numbered, out of the same count, in order.
        QStringList numbers;
        const QRegularExpression footer(QStringLiteral("第(\\d+)页，共(\\d+)页"));
        for (const auto& m : footer.globalMatch(text))
            numbers << m.captured(1) + u'/' + m.captured(2);
        QVERIFY2(numbers.size() >= 2, qPrintable(numbers.join(u' ')));
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers.at(i), QStringLiteral("%1/%2").arg(i + 1).arg(numbers.size()));
        QVERIFY(!text.contains(QStringLiteral("他人"))); // another user's instruction

        // Not one of the user's payer accounts; an empty payroll list; a FIFO as target.
        const Run wrongPayer = cli({QStringLiteral("print-payments"), QStringLiteral("--payer"),
                                    QStringLiteral("OTHER"), QStringLiteral("-o"), path("x.pdf")});
        QCOMPARE(wrongPayer.status, 2);
        QCOMPARE(wrongPayer.err.trimmed(), QStringLiteral("请选择支付帐号"));
        const Run empty =
            cli({QStringLiteral("print-salary"), QStringLiteral("-o"), path("x.pdf")});
        QCOMPARE(empty.status, 1);
        QCOMPARE(empty.err.trimmed(), QStringLiteral("没有工资记录，无需打印。"));
        QVERIFY(!QFile::exists(path("x.pdf")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        const Run fifo = cli({QStringLiteral("print-payments"), QStringLiteral("--payer"),
                              QStringLiteral("310100100100"), QStringLiteral("-o"), path("fifo")});
        QCOMPARE(fifo.status, 1);
        QVERIFY(QFileInfo(path("fifo")).isFile() == false && QFileInfo::exists(path("fifo")));

        // A list too long for the print preview's memory is refused, not drawn.
        execSql(db, QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 "
                                   "from n where i < 50001) insert into Salary(姓名, 金额, "
                                   "用户编号) select 'x', i, '1' from n"));
        const Run tooLong =
            cli({QStringLiteral("print-salary"), QStringLiteral("-o"), path("x.pdf")});
        QCOMPARE(tooLong.status, 1);
        QCOMPARE(tooLong.err.trimmed(),
                 QStringLiteral("工资记录共50001笔，超过一次最多可打印的50000笔，未打印。"));
        execSql(db, QStringLiteral("delete from Salary"));

        execSql(db,
                QStringLiteral("insert into Salary(员工编号, 姓名, 卡号, 金额, 用户编号) values "
                               "('7','王小明','6222020200112233445',45000000,'1')"));
        QCOMPARE(cli({QStringLiteral("print-salary"), QStringLiteral("-o"), path("gz.pdf")}).status,
                 0);
        const QString salary = pdfText(path("gz.pdf"));
        for (const QString& expected :
             {QStringLiteral("工资表"), QStringLiteral("王小明"),
              QStringLiteral("6222020200112233445"), QStringLiteral("共1笔，合计金额4,500.00元"),
              QStringLiteral("人民币大写：肆仟伍佰元整")})
            QVERIFY2(salary.contains(expected),
                     qPrintable(expected + QStringLiteral("\n") + salary));
    }

    void usageErrors()
    {
        QCOMPARE(cli({}).status, 2);
        const Run unknown = cli({QStringLiteral("frobnicate")});
        QCOMPARE(unknown.status, 2);
        QVERIFY(!unknown.err.isEmpty());
        QCOMPARE(cli({QStringLiteral("export-payees")}).status, 2); // no -o
        QCOMPARE(cli({QStringLiteral("export-payees"), QStringLiteral("-x"), QStringLiteral("y")})
                     .status,
                 2);
    }

    void loginIsRequired()
    {
        const Run wrong =
            cli({QStringLiteral("export-payees"), QStringLiteral("-o"), path("p.txt")},
                QStringLiteral("x"));
        QCOMPARE(wrong.status, 2);
        QCOMPARE(wrong.err.trimmed(), QStringLiteral("密码错误"));
        QVERIFY(!QFile::exists(path("p.txt")));
        // No password given and no terminal to ask on.
        const Run none = cli({QStringLiteral("export-payees"), QStringLiteral("-o"), path("p.txt")},
                             std::nullopt);
        QCOMPARE(none.status, 2);
        QVERIFY(none.err.contains(QStringLiteral("BANKPREP_PASSWORD")));
        // A changed password, in any letter case.
        execSql(ws->path(), QStringLiteral("update \"User\" set 密码 = ?"),
                {hashPassword(QStringLiteral("Pa55"))});
        QCOMPARE(cli({QStringLiteral("export-payees"), QStringLiteral("-o"), path("p.txt")},
                     QStringLiteral("pA55"))
                     .status,
                 0);
    }

    void missingDatabaseIsNotCreated()
    {
        const Run r = cli({QStringLiteral("--db"), path("nothing.db"),
                           QStringLiteral("export-payees"), QStringLiteral("-o"), path("p.txt")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains(QStringLiteral("nothing.db")));
        QVERIFY(!QFile::exists(path("nothing.db")));
    }

    // A file that is refused is left exactly as it was: no journal mode switched, no
    // table or column added, no -wal or -shm left behind.
    void refusedDatabaseIsNotTouched()
    {
        const QString foreign = path("foreign.db");
        execSql(foreign, QStringLiteral("create table t(a)"));
        execSql(foreign, QStringLiteral("insert into t values (1)"));
        const QString partial = path("partial.db");
        execSql(partial, QStringLiteral("create table Payment(同城交易 text, 收款帐号 text)"));
        for (const QString& file : {foreign, partial}) {
            const QByteArray before = readFile(file);
            const Run r = cli({QStringLiteral("--db"), file, QStringLiteral("export-payees"),
                               QStringLiteral("-o"), path("wl.txt")});
            QCOMPARE(r.status, 1);
            QCOMPARE(readFile(file), before);
            QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
            QVERIFY(!QFile::exists(file + QStringLiteral("-shm")));
            QVERIFY(!QFile::exists(path("wl.txt")));
            if (file == partial)
                QVERIFY2(r.err.contains(QStringLiteral("数据表“Payment”中缺少列“溯枫帐号”")),
                         qPrintable(r.err));
        }
    }

    void exportPayments()
    {
        const Run r = cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                           QStringLiteral("310100100100"), QStringLiteral("-o"), path("zf.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(
            readFile(path("zf.txt")),
            gbk("2|21500.5\r\n"
                "310100100100|否|4410000123|东方示例公司|示例银行上海分行|上海|1500.5|货款||是\r\n"
                "310100100100|是|1210000456|西城样本厂|示例银行北京分行|北京|20000|工程款|二期|"
                "否\r\n"));
        // Another user's payer account, or an unknown one, is refused.
        for (const char* payer : {"OTHER", "999", ""}) {
            const Run bad =
                cli({QStringLiteral("--db"), ws->path(), QStringLiteral("export-payments"),
                     QStringLiteral("--payer"), QString::fromLatin1(payer), QStringLiteral("-o"),
                     path("bad.txt")});
            QCOMPARE(bad.status, 2);
            QVERIFY(!QFile::exists(path("bad.txt")));
        }
        const Run bad = cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                             QStringLiteral("OTHER"), QStringLiteral("-o"), path("bad.txt")});
        QCOMPARE(bad.err.trimmed(), QStringLiteral("请选择支付帐号"));
    }

    void exportSalary()
    {
        execSql(ws->path(),
                QStringLiteral("insert into Salary(员工编号, 姓名, 卡号, 金额, 用户编号) values "
                               "('1001','王小明','6200000000000001',35005000,'1'),"
                               "('1002','李样本','6200000000000002',42000000,'1'),"
                               "('1003','赵示例','6200000000000003',NULL,'1')"));
        const QByteArray header = gbk("编号,姓名,卡号,实发工资\r\n");
        QCOMPARE(
            cli({QStringLiteral("export-salary"), QStringLiteral("-o"), path("gz.txt")}).status, 0);
        QCOMPARE(readFile(path("gz.txt")), header + gbk("1001,王小明,6200000000000001,3500.5\r\n"
                                                        "1002,李样本,6200000000000002,4200\r\n"
                                                        "1003,赵示例,6200000000000003,0\r\n"));
        QCOMPARE(cli({QStringLiteral("export-salary"), QStringLiteral("-o"), path("sp.txt"),
                      QStringLiteral("--rows-per-file"), QStringLiteral("2")})
                     .status,
                 0);
        QVERIFY(!QFile::exists(path("sp.txt")));
        QCOMPARE(readFile(path("sp.txt.1")), header + gbk("1001,王小明,6200000000000001,3500.5\r\n"
                                                          "1002,李样本,6200000000000002,4200\r\n"));
        QCOMPARE(readFile(path("sp.txt.2")), header + gbk("1003,赵示例,6200000000000003,0\r\n"));

        for (const auto& [text, message] :
             {std::pair{"abc", "请输入有效记录数"}, std::pair{"1.5", "请输入有效记录数"},
              std::pair{"  ", "请输入文件记录数"}}) {
            const Run r = cli({QStringLiteral("export-salary"), QStringLiteral("-o"), path("x.txt"),
                               QStringLiteral("--rows-per-file"), QString::fromLatin1(text)});
            QCOMPARE(r.status, 2);
            QCOMPARE(r.err.trimmed(), QString::fromUtf8(message));
        }
    }

    void exportPayees()
    {
        QCOMPARE(
            cli({QStringLiteral("export-payees"), QStringLiteral("-o"), path("wl.txt")}).status, 0);
        QCOMPARE(readFile(path("wl.txt")), QByteArray()); // an empty book: 0 bytes
    }

    void importCommands()
    {
        // The export file of the payments imports back with the window's defaults.
        QCOMPARE(cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                      QStringLiteral("310100100100"), QStringLiteral("-o"), path("zf.txt")})
                     .status,
                 0);
        Run r = cli({QStringLiteral("import-payments"), path("zf.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已成功导入2个记录"));
        QCOMPARE(r.err, QString());
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select count(*) from Payment where 用户编号 = '1'"))
                     .toInt(),
                 4);

        // A refusal of the settings, with the window's message.
        r = cli({QStringLiteral("import-payments"), path("zf.txt"), QStringLiteral("--start"),
                 QStringLiteral("1")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("起始导入行号应大于1"));
        r = cli({QStringLiteral("import-payments"), path("zf.txt"), QStringLiteral("--col"),
                 QStringLiteral("xyz=3")});
        QCOMPARE(r.status, 2);

        // Payees: the three required columns have no default.
        QFile f(path("wl.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk("甲\t银行\t955\n乙\t银行\t956\n"));
        f.close();
        r = cli({QStringLiteral("import-payees"), path("wl.txt"), QStringLiteral("--sep"),
                 QStringLiteral("tab")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("收款账号不能为空值"));
        r = cli({QStringLiteral("import-payees"), path("wl.txt"), QStringLiteral("--sep"),
                 QStringLiteral("tab"), QStringLiteral("--col"), QStringLiteral("account=3"),
                 QStringLiteral("--col"), QStringLiteral("unit=1"), QStringLiteral("--col"),
                 QStringLiteral("bank=2")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已成功导入2个往来账号"));
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 收款单位 from Company where 收款帐号 = '956'"))
                     .toString(),
                 QStringLiteral("乙"));

        // A bad line: nothing written, the message on standard error.
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk("h\nP|否|A|n|b|p|1,000|u|r|否\n"));
        f.close();
        r = cli({QStringLiteral("import-payments"), path("wl.txt")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("第2行金额格式错误，导入中止！"));
    }

    // The import commands read no payment rows, yet an older database, whose payment
    // table lacks the large-value flag, is brought up to date before they store theirs.
    void importIntoAnOlderDatabase()
    {
        QCOMPARE(cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                      QStringLiteral("310100100100"), QStringLiteral("-o"), path("zf.txt")})
                     .status,
                 0);
        execSql(ws->path(), QStringLiteral("alter table Payment drop column 大额实时"));
        const Run r = cli({QStringLiteral("import-payments"), path("zf.txt")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select group_concat(大额实时, '') from "
                                                        "Payment where 用户编号 = '1'"))
                     .toString(),
                 QStringLiteral("否否是否"));
    }

    // Every text the imports store may be as long as its column and not one character
    // longer; the analysis pass refuses an over-long one before anything is written.
    // Chinese characters, so that a count of bytes instead of characters shows.
    void importTextsUpToTheirWidth()
    {
        struct Field
        {
            const char* label;
            int width;
        };
        // One text per field, each of its own character; the one at `longer` one over.
        auto texts = [](const QList<Field>& fields, qsizetype longer) {
            QStringList out;
            for (qsizetype i = 0; i < fields.size(); ++i)
                out << QString(fields.at(i).width + (i == longer ? 1 : 0),
                               QChar(char16_t(0x7532 + i)));
            return out;
        };
        auto write = [this](const char* name, const QString& text) {
            QFile f(path(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(gbk(text.toUtf8().constData()));
        };
        auto tooLong = [](int line, const Field& f) {
            return QStringLiteral("第%1行%2超出长度，导入中止！")
                .arg(line)
                .arg(QString::fromUtf8(f.label));
        };

        // Payments in the default layout: payer, flag, four texts, amount, two texts, flag.
        const QList<Field> pay = {{"收款账号", 50}, {"收款单位", 50}, {"收款银行", 50},
                                  {"汇入地点", 50}, {"用途", 50},     {"备注", 100}};
        auto payLine = [&](qsizetype longer) {
            const QStringList t = texts(pay, longer);
            return QStringLiteral("P|否|") + t.mid(0, 4).join(QLatin1Char('|')) +
                   QStringLiteral("|1|") + t.at(4) + QLatin1Char('|') + t.at(5) +
                   QStringLiteral("|否\n");
        };
        write("zf.txt", QStringLiteral("h\n") + payLine(-1));
        Run r = cli({QStringLiteral("import-payments"), path("zf.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已成功导入1个记录"));
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 收款帐号 || '|' || 收款单位 || '|' || 收款银行 "
                                            "|| '|' || 汇入地点 || '|' || 用途 || '|' || 备注 "
                                            "from Payment where 金额 = 10000"))
                     .toString(),
                 texts(pay, -1).join(QLatin1Char('|')));
        const QString payCount = QStringLiteral("select count(*) from Payment");
        const int payments = querySingle(ws->path(), payCount).toInt();
        for (qsizetype i = 0; i < pay.size(); ++i) {
            write("zf.txt", QStringLiteral("h\n") + payLine(-1) + payLine(i));
            r = cli({QStringLiteral("import-payments"), path("zf.txt")});
            QCOMPARE(r.status, 1);
            QCOMPARE(r.err.trimmed(), tooLong(3, pay.at(i)));
            QCOMPARE(querySingle(ws->path(), payCount).toInt(), payments);
        }

        // Payees: the classification is a name of the classification table (at most 50);
        // the account keeps its id.
        const QList<Field> payee = {{"收款账号", 50}, {"收款单位", 50}, {"收款银行", 50},
                                    {"汇入地点", 50}, {"备注", 20},     {"账号分类", 50},
                                    {"自定编号", 50}};
        QStringList columns = {QStringLiteral("import-payees"), path("wl.txt")};
        for (const char* c :
             {"account=1", "unit=2", "bank=3", "place=4", "memo=5", "type=6", "no=7", "sf=8"})
            columns << QStringLiteral("--col") << QString::fromLatin1(c);
        auto payeeLine = [&](qsizetype longer) {
            return texts(payee, longer).join(QLatin1Char('|')) + QStringLiteral("|是\n");
        };
        write("wl.txt", payeeLine(-1));
        r = cli(columns);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已成功导入1个往来账号"));
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select c.收款帐号 || '|' || c.收款单位 || '|' || "
                                            "c.收款银行 || '|' || c.汇入地点 || '|' || c.备注 || "
                                            "'|' || t.type || '|' || c.自定编号 || '|' || "
                                            "c.溯枫帐号 || char(10) from Company c join "
                                            "CompanyType t on t.type_id = c.账号分类"))
                     .toString(),
                 payeeLine(-1));
        const QString book = QStringLiteral("select * from Company order by 编号");
        const QString types = QStringLiteral("select * from CompanyType order by type_id");
        const QList<QVariantList> bookBefore = queryRows(ws->path(), book);
        const QList<QVariantList> typesBefore = queryRows(ws->path(), types);
        QCOMPARE(bookBefore.size(), 1);
        for (qsizetype i = 0; i < payee.size(); ++i) {
            write("wl.txt", payeeLine(-1) + payeeLine(i));
            r = cli(columns);
            QCOMPARE(r.status, 1);
            QCOMPARE(r.err.trimmed(), tooLong(2, payee.at(i)));
            QVERIFY(queryRows(ws->path(), book) == bookBefore);
            QVERIFY(queryRows(ws->path(), types) == typesBefore);
        }
    }

    // A folder is no file to import: refused with the window's message, nothing written.
    void importRefusesAFolder()
    {
        const QString folder = path("in");
        QVERIFY(QDir().mkdir(folder));
        const QString payments = QStringLiteral("select count(*) from Payment");
        const int before = querySingle(ws->path(), payments).toInt();
        for (const QStringList& args :
             {QStringList{QStringLiteral("import-payments"), folder},
              QStringList{QStringLiteral("import-payees"), folder, QStringLiteral("--col"),
                          QStringLiteral("account=1"), QStringLiteral("--col"),
                          QStringLiteral("unit=2"), QStringLiteral("--col"),
                          QStringLiteral("bank=3")}}) {
            const Run r = cli(args);
            QCOMPARE(r.status, 1);
            QCOMPARE(r.err.trimmed(), QStringLiteral("该文件不存在！"));
            QCOMPARE(r.out, QString());
        }
        QCOMPARE(querySingle(ws->path(), payments).toInt(), before);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select count(*) from Company")).toInt(),
                 0);
    }

    void importSalary()
    {
        const QString sheet = QStringLiteral(BANKPREP_TEST_DATA "/payroll.xlsx");
        Run r = cli({QStringLiteral("import-salary"), sheet, QStringLiteral("--col"),
                     QStringLiteral("编号=1"), QStringLiteral("--col"), QStringLiteral("姓名=2"),
                     QStringLiteral("--col"), QStringLiteral("卡号=3"), QStringLiteral("--col"),
                     QStringLiteral("实发工资=4")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("共导入数据3条。"));
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select count(*) from Salary where 用户编号 = '1'"))
                     .toInt(),
                 3);
        r = cli({QStringLiteral("import-salary"), QStringLiteral(BANKPREP_TEST_DATA "/cards.xls"),
                 QStringLiteral("--col"), QStringLiteral("卡号=3"), QStringLiteral("--col"),
                 QStringLiteral("实发工资=4"), QStringLiteral("--col"), QStringLiteral("姓名=2")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("C3")), qPrintable(r.err));
        r = cli({QStringLiteral("import-salary"), path("nothing.xls")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("不存在")), qPrintable(r.err));
        r = cli({QStringLiteral("import-salary"), sheet, QStringLiteral("--col"),
                 QStringLiteral("编号=9")});
        QCOMPARE(r.status, 2);
    }

    // The import tools from a shell: a saved profile with an option over it, the refusal of
    // a file imported before, the journal, and the undo with a row changed since.
    void profilesRepeatsAndUndo()
    {
        QFile f(path("wl.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("955,甲公司,银行\n956,乙公司,银行\n"); // UTF-8 without its mark
        f.close();
        {
            Connection c;
            c.open(ws->path());
            ImportForm form;
            form.separatorText = QStringLiteral(";");
            form.startText = QStringLiteral("1");
            form.yesNoText = QStringLiteral("是/否");
            form.columnTexts = {{ImportField::PayeeAccount, QStringLiteral("1")},
                                {ImportField::PayeeName, QStringLiteral("2")},
                                {ImportField::PayeeBank, QStringLiteral("3")}};
            saveProfile(c, ImportKind::Payees, QStringLiteral("往来"),
                        textProfile(form, ImportKind::Payees));
        }
        const QStringList import = {QStringLiteral("import-payees"), path("wl.txt"),
                                    QStringLiteral("--profile"), QStringLiteral("往来")};
        Run r = cli(import + QStringList{QStringLiteral("--sep"), QStringLiteral(",")});
        QCOMPARE(r.status, 0);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select group_concat(收款单位) from "
                                                        "Company"))
                     .toString(),
                 QStringLiteral("甲公司,乙公司"));
        const QString company = QStringLiteral("select group_concat(编号) from Company");
        const QString firstBatch = querySingle(ws->path(), company).toString();
        r = cli(import + QStringList{QStringLiteral("--sep"), QStringLiteral(",")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("内容完全相同的文件已于")) &&
                     r.err.trimmed().endsWith(
                         QStringLiteral("（2条，文件“%1”）。再次导入会使这些记录重复。 "
                                        "如确需再次导入，请加 --allow-same-file。")
                             .arg(path("wl.txt"))),
                 qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QCOMPARE(querySingle(ws->path(), company).toString(), firstBatch);
        r = cli({QStringLiteral("import-payees"), path("wl.txt"), QStringLiteral("--profile"),
                 QStringLiteral("无此方案"), QStringLiteral("--allow-same-file")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("没有名为“无此方案”的导入方案。"));
        QCOMPARE(cli(import + QStringList{QStringLiteral("--sep"), QStringLiteral(","),
                                          QStringLiteral("--allow-same-file")})
                     .status,
                 0);
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(readFile(path("wl.txt")), QCryptographicHash::Sha256).toHex());
        r = cli({QStringLiteral("import-log")});
        QCOMPARE(r.status, 0);
        QStringList log = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(0), QStringLiteral("编号\t时间\t类型\t笔数\t文件\tSHA-256\t状态"));
        for (const QString& line : log.mid(1)) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            QCOMPARE(fields.size(), 7);
            QCOMPARE(fields.mid(2), (QStringList{QStringLiteral("往来账号"), QStringLiteral("2"),
                                                 path("wl.txt"), sha, QStringLiteral("可撤销")}));
        }
        const QString firstId = log.at(2).section(QLatin1Char('\t'), 0, 0);
        QVERIFY(log.at(1).section(QLatin1Char('\t'), 0, 0).toInt() > firstId.toInt());

        // A plain undo removes the newest batch's rows, and only those.
        r = cli({QStringLiteral("undo-import")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已撤销导入：删除记录2条。"));
        QCOMPARE(querySingle(ws->path(), company).toString(), firstBatch);
        log = cli({QStringLiteral("import-log")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(log.at(1).section(QLatin1Char('\t'), 6).startsWith(QStringLiteral("已撤销 ")),
                 qPrintable(log.at(1)));
        QCOMPARE(cli(import + QStringList{QStringLiteral("--sep"), QStringLiteral(","),
                                          QStringLiteral("--allow-same-file")})
                     .status,
                 0);

        // The next batch, one of its rows changed by the clerk since: the undo waits for a
        // choice, listing the row as it is now.
        execSql(ws->path(), QStringLiteral("update Company set 备注 = '改' where 编号 = (select "
                                           "max(编号) from Company)"));
        const QString changed =
            querySingle(ws->path(), QStringLiteral("select max(编号) from Company")).toString();
        r = cli({QStringLiteral("undo-import")});
        QCOMPARE(r.status, 1);
        QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("导入后有1条记录被修改过："));
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("编号\t")), qPrintable(lines.at(1)));
        QVERIFY2(lines.at(2).startsWith(changed + QLatin1Char('\t')) &&
                     lines.at(2).contains(QStringLiteral("\t改")) &&
                     lines.at(2).contains(QStringLiteral("乙公司")),
                 qPrintable(lines.at(2)));
        QVERIFY(lines.at(3).contains(QStringLiteral("--keep-changed")));
        QCOMPARE(querySingle(ws->path(), company).toString().count(QLatin1Char(',')), 3);
        r = cli({QStringLiteral("undo-import"), QStringLiteral("--keep-changed")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(),
                 QStringLiteral("已撤销导入：删除记录1条（保留导入后修改过的1条）。"));
        QCOMPARE(querySingle(ws->path(), company).toString(),
                 firstBatch + QLatin1Char(',') + changed);

        // The first batch is next; its changed row goes with it when asked to.
        execSql(ws->path(),
                QStringLiteral("update Company set 收款银行 = '他行' where 编号 = (select "
                               "min(编号) from Company)"));
        QCOMPARE(cli({QStringLiteral("undo-import")}).status, 1);
        r = cli({QStringLiteral("undo-import"), QStringLiteral("--remove-changed")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("已撤销导入：删除记录2条。"));
        QCOMPARE(querySingle(ws->path(), company).toString(), changed);
        QCOMPARE(cli({QStringLiteral("undo-import")}).err.trimmed(),
                 QStringLiteral("没有可以撤销的导入。"));
        QCOMPARE(cli({QStringLiteral("undo-import"), firstId}).status, 1); // undone already

        // The encoding as given: GBK bytes read as UTF-8 are refused.
        QCOMPARE(cli({QStringLiteral("import-payments"), path("wl.txt"),
                      QStringLiteral("--encoding"), QStringLiteral("latin1")})
                     .status,
                 2);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk("957,丙公司,银行\n"));
        f.close();
        r = cli({QStringLiteral("import-payees"), path("wl.txt"), QStringLiteral("--profile"),
                 QStringLiteral("往来"), QStringLiteral("--sep"), QStringLiteral(","),
                 QStringLiteral("--encoding"), QStringLiteral("utf-8")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("第1行含有无法识别的字符，导入中止！"));
        QCOMPARE(querySingle(ws->path(), company).toString(), changed);
    }

    // A payroll profile maps by titles: next month's columns stand elsewhere.
    void salaryProfileMapsByTitles()
    {
        QFile f(path("feb.csv"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk("部门,实发,工号,卡号,姓名\n财务,20,2,6223,乙\n"));
        f.close();
        {
            Connection c;
            c.open(ws->path());
            saveProfile(c, ImportKind::Salary, QStringLiteral("人事"),
                        salaryProfile({"工号", "姓名", "卡号", "实发"}));
            saveProfile(c, ImportKind::Salary, QStringLiteral("旧表"),
                        salaryProfile({"编号", "姓名", "卡号", "实发工资"}));
        }
        Run r = cli({QStringLiteral("import-salary"), path("feb.csv"), QStringLiteral("--profile"),
                     QStringLiteral("旧表")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.trimmed(), QStringLiteral("工资表中没有列标题“编号”（导入方案“旧表”）。"));
        r = cli({QStringLiteral("import-salary"), path("feb.csv"), QStringLiteral("--profile"),
                 QStringLiteral("人事")});
        QCOMPARE(r.status, 0);
        const QString salary =
            QStringLiteral("select group_concat(员工编号 || 姓名 || 卡号 || 金额) "
                           "from Salary");
        QCOMPARE(querySingle(ws->path(), salary).toString(), QStringLiteral("2乙6223200000"));
        // Columns given on the command line stand over the profile's titles, even those
        // the file lacks.
        r = cli({QStringLiteral("import-salary"), path("feb.csv"), QStringLiteral("--profile"),
                 QStringLiteral("旧表"), QStringLiteral("--col"), QStringLiteral("编号=3"),
                 QStringLiteral("--col"), QStringLiteral("实发工资=2"), QStringLiteral("--col"),
                 QStringLiteral("姓名=1")});
        QCOMPARE(r.status, 1); // the same file again
        QVERIFY2(r.err.contains(QStringLiteral("--allow-same-file")), qPrintable(r.err));
        r = cli({QStringLiteral("import-salary"), path("feb.csv"), QStringLiteral("--profile"),
                 QStringLiteral("旧表"), QStringLiteral("--col"), QStringLiteral("编号=3"),
                 QStringLiteral("--col"), QStringLiteral("实发工资=2"), QStringLiteral("--col"),
                 QStringLiteral("姓名=1"), QStringLiteral("--allow-same-file")});
        QCOMPARE(r.status, 0);
        QCOMPARE(querySingle(ws->path(), salary).toString(),
                 QStringLiteral("2乙6223200000,2财务6223200000"));
    }

    void refusedExportKeepsTheOldFile()
    {
        {
            QFile f(path("zf.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("yesterday\r\n");
        }
        execSql(ws->path(),
                QStringLiteral("update Payment set 备注 = '😀' where 收款帐号 = '4410000123'"));
        const Run r = cli({QStringLiteral("export-payments"), QStringLiteral("--payer"),
                           QStringLiteral("310100100100"), QStringLiteral("-o"), path("zf.txt")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains(QStringLiteral("备注")));
        QCOMPARE(readFile(path("zf.txt")), QByteArray("yesterday\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
