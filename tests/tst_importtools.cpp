// The import tools: the encoding a file is read in, the preview against the import it
// stands for, saved profiles across a restore, and the undo of a batch with rows changed
// since.
#include "core/data/backup.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "core/data/users.h"
#include "core/import/importbatch.h"
#include "core/import/importpreview.h"
#include "core/import/importprofile.h"
#include "core/import/salaryimport.h"
#include "core/import/spreadsheet.h"
#include "testutil.h"

#include <QtTest>

using namespace bankprep;
using namespace testutil;

namespace {

// The payment window's opening settings (checkImportForm would want an existing file).
ImportSettings paymentSettings(TextEncoding encoding = TextEncoding::Auto)
{
    ImportSettings s;
    s.separator = QStringLiteral("|");
    s.yesText = QStringLiteral("是");
    s.noText = QStringLiteral("否");
    s.startLine = 2;
    s.encoding = encoding;
    for (const ImportFieldDef& f : paymentImport().fields)
        s.columns.insert(f.field, f.defaultColumn);
    return s;
}

QByteArray paymentLine(const char* account, const char* amount, const char* remark = "")
{
    return gbk("p|否|") + account + gbk("|收款单位|示例银行|上海|") + amount + gbk("|货款|") +
           gbk(remark) + gbk("|否\r\n");
}

QString importRefusal(TDataModule2& dm, const QByteArray& bytes)
{
    try {
        importPayments(dm, bytes, paymentSettings());
    } catch (const DbError& e) {
        return e.message();
    }
    return QString();
}

int rows(const QString& db, const char* table)
{
    return querySingle(db, QStringLiteral("select count(*) from ") + QLatin1String(table)).toInt();
}

} // namespace

class TestImportTools : public QObject
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

    void encodingIsChosenByTheBytes()
    {
        const QByteArray utf8 = QByteArray("h\r\np|否|1|东方公司|银行|上海|5|货款||否\r\n");
        QCOMPARE(detectEncoding(utf8), TextEncoding::Utf8);
        QCOMPARE(detectEncoding(gbk("h\r\np|否|1|东方公司|银行|上海|5|货款||否\r\n")),
                 TextEncoding::Gbk);
        QCOMPARE(detectEncoding("plain ascii\r\n"), TextEncoding::Gbk);
        QCOMPARE(detectEncoding(gbk("胜")), TextEncoding::Gbk); // also ʤ in UTF-8
        // Overlong forms and surrogates are not UTF-8; a GBK pair that happens to look
        // like a UTF-8 lead byte without its trail is not either.
        QCOMPARE(detectEncoding("\xC0\xAF"), TextEncoding::Gbk);
        QCOMPARE(detectEncoding("\xED\xA0\x80"), TextEncoding::Gbk);
        QCOMPARE(detectEncoding("\xEF\xBB\xBF\xB6\xAB"), TextEncoding::Utf8); // the mark rules

        // A UTF-8 file without the mark is imported as the text it holds.
        QCOMPARE(importPayments(*dm, utf8, paymentSettings()).count, 1);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 收款单位 from Payment")).toString(),
                 QStringLiteral("东方公司"));
        // The clerk's choice overrides: read as GBK, the same bytes are other characters.
        const ImportPreview asGbk =
            previewTextImport(paymentImport(), utf8, paymentSettings(TextEncoding::Gbk));
        QCOMPARE(asGbk.encoding, TextEncoding::Gbk);
        QVERIFY(asGbk.rows.at(0).at(2).value != QStringLiteral("东方公司"));
    }

    // The preview's refusal is the import's own message, for each way a file is refused,
    // and its totals are the whole file's.
    void previewSpeaksAsTheImport_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("badCell"); // column of the marked cell on the first shown row
        const QByteArray head = "h\r\n";
        QTest::newRow("account missing") << head + paymentLine("", "5") << 1;
        QTest::newRow("amount no number") << head + paymentLine("1", "5元") << 5;
        QTest::newRow("remark too long")
            << head + paymentLine("1", "5", QByteArray(101, 'x').constData()) << 8;
        // The import checks every line's bytes first: a later undecodable line is named
        // before an earlier bad amount.
        QTest::newRow("undecodable later") << head + paymentLine("1", "x") + "p|\xFF|\r\n" << 5;
    }
    void previewSpeaksAsTheImport()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, badCell);
        const ImportPreview p = previewTextImport(paymentImport(), file, paymentSettings());
        const QString refusal = importRefusal(*dm, file);
        QVERIFY(!refusal.isEmpty());
        QCOMPARE(p.refusal, refusal);
        for (int c = 0; c < int(p.rows.at(0).size()); ++c)
            QCOMPARE(p.rows.at(0).at(size_t(c)).problem.isEmpty(), c != badCell);
        QCOMPARE(rows(ws->path(), "Payment"), 0);
    }

    void previewTotalsTheWholeFile()
    {
        QByteArray file = "h\r\n";
        for (int i = 0; i < 250; ++i)
            file += paymentLine(QByteArray::number(i).constData(), "0.01");
        file += paymentLine("x", "1e3"); // as the import reads it: 1000
        const ImportPreview p = previewTextImport(paymentImport(), file, paymentSettings(), 200);
        QCOMPARE(p.rows.size(), size_t(200));
        QCOMPARE(p.lines.front(), 2);
        QCOMPARE(p.records, 251);
        QCOMPARE(p.total, Money::fromUnits(1002'5000));
        QVERIFY(p.refusal.isEmpty());
        QCOMPARE(p.rows.at(0).at(6).value, NoText); // the flag as stored
        QCOMPARE(importPayments(*dm, file, paymentSettings()).count, 251);
        QCOMPARE(
            querySingle(ws->path(), QStringLiteral("select sum(金额) from Payment")).toLongLong(),
            1002'5000LL);
    }

    void salaryPreviewSpeaksAsTheImport()
    {
        Spreadsheet sheet;
        parseCsv(QStringLiteral(
                     "编号,姓名,卡号,实发工资\n1,甲,c,10.5\n2,乙,c,abc\n3,丙,c,5\n\n9,x,c,1\n"),
                 &sheet);
        const ImportPreview p = previewSalaryImport(sheet, {1, 2, 3, 4});
        QCOMPARE(p.records, 3); // the blank row ends the list, as in the import
        QCOMPARE(p.total, Money::fromUnits(15'5000));
        QCOMPARE(p.rows.at(1).at(3).problem, p.refusal);
        QCOMPARE(p.refusal, refusalOf([&] { importSalary(*dm, sheet, {1, 2, 3, 4}); }));
    }

    void profilesRoundTripAndOutliveARestore()
    {
        ImportForm form;
        form.separatorText = QStringLiteral("\t<Tab>");
        form.startText = QStringLiteral("3");
        form.yesNoText = QStringLiteral("Y/N");
        form.encoding = TextEncoding::Utf8;
        form.columnTexts = {{ImportField::PayeeAccount, QStringLiteral("7")},
                            {ImportField::Amount, QStringLiteral("")}};
        saveProfile(dm->ADOConn, ImportKind::Payments, QStringLiteral(" 招行 "),
                    textProfile(form, ImportKind::Payments));
        QCOMPARE(profileNames(dm->ADOConn, ImportKind::Payments), QStringList{"招行"});
        QVERIFY(profileNames(dm->ADOConn, ImportKind::Payees).isEmpty());
        setLastProfile(dm->ADOConn, ImportKind::Payments, QStringLiteral("招行"));

        const BackupInfo backup = takeBackup(dm->ADOConn, BackupReason::Manual);
        saveProfile(dm->ADOConn, ImportKind::Payees, QStringLiteral("往来"), {});
        importPayments(*dm, "h\r\n" + paymentLine("1", "5"), paymentSettings());
        dm->restoreFromBackup(backup.path);
        // Settings stay as they are; the data (and its import journal) is the backup's.
        QCOMPARE(profileNames(dm->ADOConn, ImportKind::Payees), QStringList{"往来"});
        QCOMPARE(lastProfile(dm->ADOConn, ImportKind::Payments), QStringLiteral("招行"));
        QVERIFY(!lastUndoableBatch(dm->ADOConn, QStringLiteral("1")));

        ImportForm loaded;
        loaded.file = QStringLiteral("kept.txt");
        applyTextProfile(*loadProfile(dm->ADOConn, ImportKind::Payments, QStringLiteral("招行")),
                         ImportKind::Payments, loaded);
        QCOMPARE(loaded.separatorText, form.separatorText);
        QCOMPARE(loaded.startText, form.startText);
        QCOMPARE(loaded.yesNoText, form.yesNoText);
        QCOMPARE(loaded.encoding, TextEncoding::Utf8);
        QCOMPARE(loaded.columnTexts, form.columnTexts);
        QCOMPARE(loaded.file, QStringLiteral("kept.txt"));

        // Payroll mappings are by title, wherever the titles stand next month.
        rememberSalaryMapping(dm->ADOConn, {"工号", "姓名", "银行卡号", "实发合计"});
        const SalaryTitles t = *lastSalaryMapping(dm->ADOConn);
        const QStringList next = {"部门", "实发合计", "姓名 ", "工号", "银行卡号"};
        QCOMPARE(columnOfTitle(next, t.number), 4);
        QCOMPARE(columnOfTitle(next, t.name), 3);
        QCOMPARE(columnOfTitle(next, t.amount), 2);
        QCOMPARE(columnOfTitle(next, QStringLiteral("卡号")), 0);
    }

    void undoRemovesExactlyTheBatch()
    {
        const QByteArray first = "h\r\n" + paymentLine("A1", "1") + paymentLine("A2", "2");
        const QByteArray second =
            "h\r\n" + paymentLine("B1", "3") + paymentLine("B2", "4") + paymentLine("B3", "5");
        importPayments(*dm, first, paymentSettings(), nullptr, {QStringLiteral("a.txt"), {}});
        importPayments(*dm, second, paymentSettings(), nullptr, {QStringLiteral("b.txt"), {}});
        const auto earlier = earlierImportOf(dm->ADOConn, ImportKind::Payments,
                                             lastUndoableBatch(dm->ADOConn, "1")->sha256);
        QCOMPARE(QFileInfo(earlier->file).fileName(), QStringLiteral("b.txt"));
        QVERIFY(QFileInfo(earlier->file).isAbsolute());
        QVERIFY(!earlierImportOf(dm->ADOConn, ImportKind::Payees, earlier->sha256));

        // Another program edits one row of the second batch.
        execSql(ws->path(),
                QStringLiteral("update Payment set 金额 = 90000 where 收款帐号 = 'B2'"));
        const UndoPlan plan = planUndo(dm->ADOConn, lastUndoableBatch(dm->ADOConn, "1")->id);
        QCOMPARE(plan.batch.file, earlier->file);
        QCOMPARE(plan.changedKeys.size(), size_t(1));
        QCOMPARE(plan.unchanged, 2);
        QVERIFY(plan.changed.at(0).values.contains(QStringLiteral("B2")));
        QVERIFY(plan.changed.at(0).values.contains(QStringLiteral("9.00")));
        const UndoResult kept = undoImport(*dm, plan, false);
        QCOMPARE(kept.removed, 2);
        QCOMPARE(kept.keptChanged, 1);
        QCOMPARE(queryRows(ws->path(), QStringLiteral("select 收款帐号 from Payment order by 编号"))
                     .size(),
                 3); // A1, A2, B2
        QVERIFY(!earlierImportOf(dm->ADOConn, ImportKind::Payments, earlier->sha256));
        QCOMPARE(listBackups(ws->path()).first().reason, QStringLiteral("undo-import"));

        // The first batch is next. A row changed after its plan was made refuses the
        // undo: nothing is removed that the clerk did not see.
        const UndoPlan firstPlan = planUndo(dm->ADOConn, lastUndoableBatch(dm->ADOConn, "1")->id);
        QVERIFY(firstPlan.changedKeys.empty());
        execSql(ws->path(), QStringLiteral("update Payment set 备注 = '改' where 收款帐号 = 'A1'"));
        QVERIFY(refusalOf([&] {
                    undoImport(*dm, firstPlan, true);
                }).contains(QStringLiteral("又被修改过")));
        QCOMPARE(rows(ws->path(), "Payment"), 3);
        const UndoResult all = undoImport(*dm, planUndo(dm->ADOConn, firstPlan.batch.id), true);
        QCOMPARE(all.removed, 2);
        QCOMPARE(rows(ws->path(), "Payment"), 1);
        QVERIFY(!lastUndoableBatch(dm->ADOConn, "1"));
        QVERIFY(refusalOf([&] {
                    planUndo(dm->ADOConn, firstPlan.batch.id);
                }).contains(QStringLiteral("已于")));
    }

    void salaryAndPayeeImportsAreBatchesToo()
    {
        Spreadsheet sheet;
        parseCsv(QStringLiteral("编号,姓名,卡号,实发工资\n1,甲,c,10\n2,乙,c,20\n"), &sheet);
        QCOMPARE(importSalary(*dm, sheet, {1, 2, 3, 4}, {QStringLiteral("gz.csv"), "abc"}), 2);
        ImportSettings payees;
        payees.separator = QStringLiteral("|");
        payees.yesText = QStringLiteral("是");
        payees.startLine = 1;
        payees.columns = {{ImportField::PayeeAccount, 1},
                          {ImportField::PayeeName, 2},
                          {ImportField::PayeeBank, 3},
                          {ImportField::Classification, 4}};
        importPayees(*dm, gbk("1|甲|银行|新分类\r\n"), payees);
        const std::vector<ImportBatch> batches = importBatches(dm->ADOConn);
        QCOMPARE(batches.size(), size_t(2));
        QCOMPARE(batches.at(0).kind, ImportKind::Payees);
        QCOMPARE(batches.at(1).sha256, QByteArray("abc"));
        QCOMPARE(undoImport(*dm, planUndo(dm->ADOConn, batches.at(0).id), false).removed, 1);
        QCOMPARE(undoImport(*dm, planUndo(dm->ADOConn, batches.at(1).id), false).removed, 2);
        QCOMPARE(rows(ws->path(), "Salary") + rows(ws->path(), "Company"), 0);
    }
};

QTEST_GUILESS_MAIN(TestImportTools)
#include "tst_importtools.moc"
