#include "core/export/printreport.h"

#include "core/data/dberror.h"
#include "core/data/names.h"
#include "core/data/table.h"

#include <optional>

namespace bankprep {

namespace {

int fieldOf(const Table& t, const QString& name)
{
    const int f = t.fieldIndex(QStringView(name));
    if (f < 0)
        throw DbError(QStringLiteral("数据表“%1”中没有字段“%2”。").arg(t.tableName(), name));
    return f;
}

// A stored amount, or nothing for NULL; anything else is refused, never guessed.
std::optional<Money> amountAt(const Table& t, int row, int field, int position)
{
    const CellView c = t.cellAt(row, field);
    if (c.isNull())
        return std::nullopt;
    if (c.tag == CellTag::Int)
        return Money::fromUnits(c.toInt());
    if (c.tag == CellTag::Text) {
        if (auto m = Money::parse(c.data, c.size))
            return m;
    }
    throw DbError(QStringLiteral("第%1行的金额“%2”不是有效的金额，未打印。")
                      .arg(position)
                      .arg(t.textAt(row, field)));
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
    const QList<int> text = {fieldOf(payments, col::PayeeName),
                             fieldOf(payments, col::PayeeAccount),
                             fieldOf(payments, col::PayeeBank), fieldOf(payments, col::PayeePlace)};
    const int amount = fieldOf(payments, col::Amount);
    const QList<int> after = {fieldOf(payments, col::Purpose), fieldOf(payments, col::Remark),
                              fieldOf(payments, col::Urgent)};
    const QList<int> rows = storedRows(payments, report.noun);
    report.lines.reserve(rows.size());
    int position = 0;
    for (int r : rows) {
        ++position;
        QStringList line{QString::number(position)};
        for (int f : text)
            line << payments.textAt(r, f);
        const auto m = amountAt(payments, r, amount, position);
        if (m)
            addToTotal(report, *m);
        line << (m ? m->toDisplayString() : QString());
        for (int f : after)
            line << payments.textAt(r, f);
        report.lines << line;
    }
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
    const QList<int> text = {fieldOf(salary, col::EmployeeNo), fieldOf(salary, col::EmployeeName),
                             fieldOf(salary, col::CardNo)};
    const int amount = fieldOf(salary, col::Amount);
    const QList<int> rows = storedRows(salary, report.noun);
    report.lines.reserve(rows.size());
    int position = 0;
    for (int r : rows) {
        ++position;
        QStringList line{QString::number(position)};
        for (int f : text)
            line << salary.textAt(r, f);
        const Money m = amountAt(salary, r, amount, position).value_or(Money());
        addToTotal(report, m);
        line << m.toDisplayString();
        report.lines << line;
    }
    return report;
}

} // namespace bankprep
