#pragma once

#include "core/data/money.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace bankprep {

class Table;

// A list as it is printed for signature: what the report says, never how it is drawn
// (the print layer lays it out on paper or in a PDF).
struct PrintReport
{
    struct Column
    {
        QString heading;
        int weight = 1;      // share of the page's width
        bool amount = false; // right-aligned, summed in the total row
    };

    QString title;     // "支付清单", "工资表"
    QString noun;      // what a line is, for the empty-list refusal
    QStringList facts; // "付款帐号：…", "日期：…", printed under the title on every page
    QList<Column> columns;
    QList<QStringList> lines; // one text per column, the amount in the display form
    Money total;
    QStringList signatures{QStringLiteral("制单"), QStringLiteral("复核"), QStringLiteral("审批")};

    qsizetype count() const { return lines.size(); }
    // "共3笔，合计金额1,234.50元"
    QString totalText() const;
    // "人民币大写：壹仟贰佰叁拾肆元伍角整"
    QString capitalsText() const;
};

// The longest list printed at once, some 2,000 pages: the print preview holds every
// page in memory.
constexpr int kMostPrintedLines = 50000;

// The payment instructions the table presents, in its order, exactly those an export
// for `payerAccount` writes. Throws DbError for an empty or too long list, an amount
// that is not a stored amount or a total out of range.
PrintReport paymentReport(Table& payments, const QString& payerAccount, QDate date);

// The payroll list the table presents, in its order (an empty amount counts as 0, as in
// the bank file).
PrintReport salaryReport(Table& salary, QDate date);

// "2026年12月9日"
QString reportDate(QDate date);

} // namespace bankprep
