#include "cli/printcommands.h"

#include "cli/cli.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "core/export/printreport.h"
#include "print/reportpainter.h"

#include <QDate>
#include <QDir>
#include <cstring>

namespace bankprep::cli {

namespace {

void reportPrinted(const PrintReport& report, const QString& path)
{
    QTextStream(stdout) << QStringLiteral("已将%1打印到“%2”：%3。")
                               .arg(report.title, QDir::toNativeSeparators(path),
                                    report.totalText())
                        << "\n";
}

} // namespace

bool printsReport(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "print-payments") == 0 ||
            std::strcmp(argv[i], "print-salary") == 0)
            return true;
    }
    return false;
}

int printPaymentsCommand(const QString& db, const QStringList& args)
{
    const Options o(args, {QStringLiteral("--payer"), QStringLiteral("-o")});
    const QString payer = o.required(QStringLiteral("--payer"));
    const QString out = o.required(QStringLiteral("-o"));
    TDataModule2 dm;
    login(dm, db, {tbl::Drawee, tbl::Payment});
    requirePayerAccount(dm, payer);
    const PrintReport report = paymentReport(*dm.ATPayment, payer, QDate::currentDate());
    writeReportPdf(report, out);
    reportPrinted(report, out);
    return kOk;
}

int printSalaryCommand(const QString& db, const QStringList& args)
{
    const Options o(args, {QStringLiteral("-o")});
    const QString out = o.required(QStringLiteral("-o"));
    TDataModule2 dm;
    login(dm, db, {tbl::Salary});
    const PrintReport report = salaryReport(*dm.ATSalary, QDate::currentDate());
    writeReportPdf(report, out);
    reportPrinted(report, out);
    return kOk;
}

} // namespace bankprep::cli
