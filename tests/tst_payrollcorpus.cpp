// Real payroll spreadsheets (public test files of spreadsheet readers and writers, real
// Chinese workbooks) imported as the command-line tool imports them, each compared with
// the result independent readers give. The files live outside the repository, in
// ../shared/payroll-corpus from the project root (see its README).
#include "core/data/datamodule.h"
#include "core/data/users.h"
#include "core/import/salaryimport.h"
#include "core/import/spreadsheet.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace bankprep;
using namespace testutil;

namespace {

QString unescape(const QString& s)
{
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) != QLatin1Char('\\') || i + 1 == s.size()) {
            out += s.at(i);
            continue;
        }
        const QChar c = s.at(++i);
        out += c == QLatin1Char('t')   ? QStringLiteral("\t")
               : c == QLatin1Char('n') ? QStringLiteral("\n")
               : c == QLatin1Char('r') ? QStringLiteral("\r")
               : c == QLatin1Char('*') ? QStringLiteral("\\*")
                                       : QString(c);
    }
    return out;
}

struct Expectation
{
    QString outcome, message, alsoAccepted;
    int exitStatus = -1;
    int row = 0;
    QList<QStringList> rows; // 员工编号, 姓名, 卡号, 金额 (ten-thousandths)
};

Expectation readExpectation(const QString& path)
{
    Expectation e;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return e;
    bool header = true;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).remove(QLatin1Char('\r'));
        if (line.isEmpty())
            continue;
        QStringList parts = line.split(QLatin1Char('\t'));
        const QString key = parts.takeFirst();
        const QString value = parts.value(0);
        if (key == QLatin1String("#outcome"))
            e.outcome = value;
        else if (key == QLatin1String("#exit"))
            e.exitStatus = value.toInt();
        else if (key == QLatin1String("#message"))
            e.message = unescape(value);
        else if (key == QLatin1String("#also-accepted"))
            e.alsoAccepted = unescape(value);
        else if (key == QLatin1String("#row"))
            e.row = value.toInt();
        else if (key.startsWith(QLatin1Char('#')))
            continue;
        else if (header)
            header = false; // the column titles
        else {
            QStringList row{key};
            for (const QString& p : parts)
                row << unescape(p);
            e.rows << row;
        }
    }
    return e;
}

// The collection reads a CSV without a byte-order mark as GBK. The import reads one that
// is valid UTF-8 holding Chinese text as UTF-8 (what pandas, LibreOffice and Google
// Sheets write): these files are stored as the UTF-8 text they hold.
Expectation readAsUtf8(const QString& file, Expectation e)
{
    if (file != QLatin1String("gen__pandas_utf8_nobom.csv"))
        return e;
    e.outcome = QStringLiteral("ok");
    e.exitStatus = 0;
    e.message = QStringLiteral("共导入数据5条。");
    e.rows = {{"2", "0001", "王小明", "6222020200001234567", "35005000"},
              {"3", "0002", "李喆", "6228480000000000018", "42000000"},
              {"4", "0003", "欧阳堃", "6217000000000000029", "51234500"},
              {"5", "0004", "赵瑄", "6222000000000000030", "3000"},
              {"6", "0005", "孙悦", "6222000000000000041", "69600000"}};
    return e;
}

struct Run
{
    QString outcome; // ok, refused, no-titles, open-fail
    QString message;
    int exitStatus = 0;
};

// As bankprep-cli import-salary does it.
Run importAsTheCommandLineDoes(TDataModule2& dm, const QString& path, const SalaryColumns& columns)
{
    SalaryFile opened;
    try {
        opened = openSalaryFile(path);
    } catch (const DbError& e) {
        const bool noTitles = e.message() == QStringLiteral("文件中没有列标题。");
        return {noTitles ? QStringLiteral("no-titles") : QStringLiteral("open-fail"), e.message(),
                1};
    }
    try {
        const int stored = importSalary(dm, opened.sheet, columns);
        return {QStringLiteral("ok"), salaryImportedMessage(stored), 0};
    } catch (const DbError& e) {
        return {QStringLiteral("refused"), e.message(), 1};
    }
}

bool sameField(const QString& expected, const QString& actual)
{
    return expected == QLatin1String("\\*") || expected == actual;
}

} // namespace

class TestPayrollCorpus : public QObject
{
    Q_OBJECT

private slots:
    void everyFileReadsAsExpected()
    {
        const QString corpus = QStringLiteral(BANKPREP_PAYROLL_CORPUS);
        if (!QFileInfo::exists(corpus + QStringLiteral("/manifest.tsv")))
            QSKIP(qPrintable(QStringLiteral("the payroll corpus is not at %1 (see the README of "
                                            "../shared/payroll-corpus)")
                                 .arg(corpus)));
        Workspace ws;
        TDataModule2 dm;
        dm.create(ws.path());
        applyLogin(dm, QStringLiteral("1"));

        QFile manifest(corpus + QStringLiteral("/manifest.tsv"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        QStringList wrong;
        int files = 0;
        for (const QByteArray& raw : manifest.readAll().split('\n')) {
            const QStringList m = QString::fromUtf8(raw).split(QLatin1Char('\t'));
            if (m.size() < 3 || m.first().startsWith(QLatin1Char('#')))
                continue;
            ++files;
            const QString file = m.at(0);
            const QStringList cols = m.at(1).split(QLatin1Char(','));
            const Expectation e = readAsUtf8(
                m.at(0), readExpectation(corpus + QStringLiteral("/expected/") + m.at(2)));
            SalaryColumns columns;
            columns.number = cols.value(0).toInt();
            columns.name = cols.value(1).toInt();
            columns.card = cols.value(2).toInt();
            columns.amount = cols.value(3).toInt();

            dm.ADOConn.exec(QStringLiteral("delete from Salary"));
            dm.ATSalary->requery();

            const Run run =
                importAsTheCommandLineDoes(dm, corpus + QStringLiteral("/files/") + file, columns);
            const QString& outcome = run.outcome;
            const QString& message = run.message;
            const int exitStatus = run.exitStatus;
            QList<QStringList> stored;
            for (const QVariantList& row :
                 queryRows(ws.path(), QStringLiteral("select 员工编号, 姓名, 卡号, 金额 from "
                                                     "Salary order by 编号")))
                stored << QStringList{row.at(0).toString(), row.at(1).toString(),
                                      row.at(2).toString(), row.at(3).toString()};

            QStringList problems;
            const bool openEnd = e.outcome == QLatin1String("open-end");
            const bool acceptedOther =
                !e.alsoAccepted.isEmpty() && message.startsWith(e.alsoAccepted);
            if (!openEnd && !acceptedOther) {
                if (outcome != e.outcome)
                    problems << QStringLiteral("outcome %1, expected %2").arg(outcome, e.outcome);
                if (exitStatus != e.exitStatus)
                    problems << QStringLiteral("exit %1").arg(exitStatus);
                if (!message.startsWith(e.message))
                    problems << QStringLiteral("message “%1”").arg(message);
                if (message.contains(QStringLiteral("。。")))
                    problems << QStringLiteral("“。。” in the message");
                if (e.outcome == QLatin1String("refused") && e.row > 0 &&
                    !message.contains(QStringLiteral("第%1行").arg(e.row)))
                    problems << QStringLiteral("not refused at row %1").arg(e.row);
            }
            if (!acceptedOther) {
                const qsizetype n = e.rows.size();
                if (openEnd ? stored.size() < n : stored.size() != n)
                    problems
                        << QStringLiteral("%1 rows stored, expected %2").arg(stored.size()).arg(n);
                for (qsizetype i = 0; i < std::min(n, stored.size()); ++i) {
                    const QStringList& want = e.rows.at(i);
                    for (int k = 0; k < 4; ++k) {
                        if (!sameField(want.value(k + 1), stored.at(i).value(k))) {
                            problems << QStringLiteral("row %1 field %2: “%3”, expected “%4”")
                                            .arg(want.value(0))
                                            .arg(k + 1)
                                            .arg(stored.at(i).value(k), want.value(k + 1));
                            break;
                        }
                    }
                    if (problems.size() > 3)
                        break;
                }
            }
            if (!problems.isEmpty())
                wrong << m.at(2) + QStringLiteral(": ") + problems.join(QStringLiteral("; "));
        }
        for (const QString& w : wrong)
            qWarning().noquote() << w;
        qInfo().noquote() << QStringLiteral("%1 of %2 files read as expected")
                                 .arg(files - wrong.size())
                                 .arg(files);
        QVERIFY2(wrong.isEmpty(), "some files are not read as expected (listed above)");
    }
};

QTEST_GUILESS_MAIN(TestPayrollCorpus)
#include "tst_payrollcorpus.moc"
