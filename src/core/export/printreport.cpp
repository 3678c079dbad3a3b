#include "core/export/printreport.h"

#include "core/data/dberror.h"
#include "core/data/names.h"
#include "core/data/table.h"
#include "core/export/bankfiles.h"

#include <optional>

namespace bankprep {

namespace {

std::optional<Money> amountAt(const Table& t, int row, int field, int position)
{
    return storedAmount(t, row, field, position, QStringLiteral("未打印"));
}

void addToTotal(PrintReport& report, Money m)
{
    const auto sum = report.total.plus(m);
    if (!sum)
        throw DbError(QStringLiteral("%1的金额合计超出了可表示的范围，未打印。").arg(report.noun));
    report.total = *sum;
}

// Every stored row the table presents, after a row still being typed was stored.
QList<int> storedRows(Table& t, const QString& noun)
{
    t.checkBrowseMode();
    QList<int> rows;
    rows.reserve(t.rowCount());
    for (int r = 0; r < t.rowCount(); ++r) {
        if (!t.isNewRow(r))
            rows << r;
    }
    if (rows.isEmpty())
        throw DbError(QStringLiteral("没有%1，无需打印。").arg(noun));
    if (rows.size() > kMostPrintedLines)
        throw DbError(QStringLiteral("%1共%2笔，超过一次最多可打印的%3笔，未打印。")
                          .arg(noun)
                          .arg(rows.size())
                          .arg(kMostPrintedLines));
    return rows;
}

// The report's lines: per stored row its position, the texts of `before`, the amount (an
// empty one shown empty, or as 0 when `emptyIsZero`, as the bank file writes it) and the
// texts of `after`; the amounts summed into the total.
void addLines(PrintReport& report, Table& t, const QStringList& before, bool emptyIsZero,
              const QStringList& after)
{
    const auto fields = [&t](const QStringList& names) {
        QList<int> f;
        for (const QString& n : names)
            f << requireField(t, n);
        return f;
    };
    const QList<int> first = fields(before), last = fields(after);
    const int amount = requireField(t, col::Amount);
    const QList<int> rows = storedRows(t, report.noun);
    report.lines.reserve(rows.size());
    int position = 0;
    for (int r : rows) {
        ++position;
        QStringList line{QString::number(position)};
        for (int f : first)
            line << t.textAt(r, f);
        auto m = amountAt(t, r, amount, position);
        if (!m && emptyIsZero)
            m = Money();
        if (m)
            addToTotal(report, *m);
        line << (m ? m->toDisplayString() : QString());
        for (int f : last)
            line << t.textAt(r, f);
        report.lines << line;
    }
}

} // namespace

QString PrintReport::totalText() const
{
    return QStringLiteral("共%1笔，合计金额%2元").arg(count()).arg(total.toDisplayString());
}

QString PrintReport::capitalsText() const
{
    return QStringLiteral("人民币大写：%1").arg(total.toChineseCapitals());
}

QString reportDate(QDate date)
{
    return QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
}

PrintReport paymentReport(Table& payments, const QString& payerAccount, QDate date)
{
    PrintReport report;
    report.title = QStringLiteral("支付清单");
    report.noun = QStringLiteral("支付指令");
    report.facts = {QStringLiteral("付款帐号：%1").arg(payerAccount),
                    QStringLiteral("日期：%1").arg(reportDate(date))};
    report.columns = {{QStringLiteral("序号"), 2}, {col::PayeeName, 8},  {col::PayeeAccount, 7},
                      {col::PayeeBank, 7},         {col::PayeePlace, 4}, {col::Amount, 5, true},
                      {col::Purpose, 5},           {col::Remark, 5},     {col::Urgent, 3}};
    addLines(report, payments, {col::PayeeName, col::PayeeAccount, col::PayeeBank, col::PayeePlace},
             false, {col::Purpose, col::Remark, col::Urgent});
    return report;
}

PrintReport salaryReport(Table& salary, QDate date)
{
    PrintReport report;
    report.title = QStringLiteral("工资表");
    report.noun = QStringLiteral("工资记录");
    report.facts = {QStringLiteral("日期：%1").arg(reportDate(date))};
    report.columns = {{QStringLiteral("序号"), 2},
                      {QStringLiteral("编号"), 4},
                      {col::EmployeeName, 5},
                      {col::CardNo, 8},
                      {QStringLiteral("实发工资"), 5, true}};
    addLines(report, salary, {col::EmployeeNo, col::EmployeeName, col::CardNo}, true, {});
    return report;
}

} // namespace bankprep
