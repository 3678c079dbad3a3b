#include "core/import/salaryimport.h"

#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/money.h"
#include "core/data/names.h"

namespace bankprep {

namespace {

// An amount written by a person or a program with thousands separators ("3,500.50"):
// the separators go when every one stands where it belongs; otherwise the text stays
// as it is (and is refused as an amount).
QString withoutGrouping(const QString& text)
{
    if (!text.contains(QLatin1Char(',')))
        return text;
    const QString t = text.trimmed();
    qsizetype i = (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) ? 1 : 0;
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    const QStringView whole = QStringView(t).mid(i, (point < 0 ? t.size() : point) - i);
    const QStringList groups = whole.toString().split(QLatin1Char(','));
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const QString& digits = groups.at(g);
        const bool sized = g == 0 ? digits.size() >= 1 && digits.size() <= 3 : digits.size() == 3;
        if (!sized)
            return text;
        for (const QChar c : digits) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return text;
        }
    }
    if (point >= 0 && t.indexOf(QLatin1Char(','), point) >= 0)
        return text;
    return QString(t).remove(QLatin1Char(','));
}

} // namespace

QStringList spreadsheetTitles(const Spreadsheet& sheet)
{
    QStringList titles;
    for (int c = 1;; ++c) {
        QString t;
        try {
            t = sheet.cell(1, c);
        } catch (const DbError&) {
            // A title that lost digits is still a title: show what the cell holds.
            t = QStringLiteral("?");
        }
        if (t.isEmpty())
            break;
        titles << t;
    }
    return titles;
}

SalaryFile openSalaryFile(const QString& path)
{
    SalaryFile f;
    f.sheet = openSpreadsheet(path);
    f.titles = spreadsheetTitles(f.sheet);
    if (f.titles.isEmpty())
        throw DbError(QStringLiteral("文件中没有列标题。"));
    return f;
}

namespace {

// Sheet row `row`, whose employee number is `number`, appended and stored through the
// salary table. Throws when the row cannot be stored.
void appendSalaryRow(TDataModule2& dm, const Spreadsheet& sheet, const SalaryColumns& columns,
                     int row, const QString& number)
{
    const QString name = sheet.cell(row, columns.name);
    const QString card = sheet.cell(row, columns.card);
    const QString amountText = sheet.cell(row, columns.amount);
    // The decimal point is "." whatever the machine's locale; more than four
    // decimals are rounded as the currency conversion rounds them.
    const auto amount =
        Money::parseRounded(sheet.isDelimitedText() ? withoutGrouping(amountText) : amountText);
    if (!amount)
        throw DbError(QStringLiteral("实发工资“%1”不是有效的金额").arg(amountText));
    Table& salary = *dm.ATSalary;
    salary.append();
    salary.setValue(col::UserId, dm.CurrentUser);
    salary.setValue(col::EmployeeNo, number);
    salary.setValue(col::EmployeeName, name);
    salary.setValue(col::CardNo, card);
    salary.setValue(col::Amount, QVariant::fromValue(*amount));
    salary.post();
}

// The row being appended when a row was refused goes with it.
void dropUnfinishedRow(Table& salary)
{
    if (!salary.isEditing())
        return;
    try {
        salary.cancel();
    } catch (...) {
    }
}

// Commits the rows stored. A refused COMMIT keeps none of them: the salary table is
// re-read to show what the database holds, and the refusal says nothing was imported.
void commitImport(Transaction& transaction, Table& salary)
{
    try {
        transaction.commit();
    } catch (const DbError& e) {
        try {
            salary.requery();
        } catch (...) {
        }
        throw DbError(e.message() + QStringLiteral("（本次没有导入任何数据）"));
    }
}

// "导入第3行时出错：实发工资“abc”不是有效的金额。已导入数据1条。"
QString rowRefusal(int row, const QString& reason, int stored)
{
    QString because = reason;
    while (because.endsWith(QStringLiteral("。")))
        because.chop(1);
    return QStringLiteral("导入第%1行时出错：%2。已导入数据%3条。")
        .arg(row)
        .arg(because)
        .arg(stored);
}

} // namespace

int importSalary(TDataModule2& dm, const Spreadsheet& sheet, const SalaryColumns& columns)
{
    Table& salary = *dm.ATSalary;
    salary.checkBrowseMode();
    Transaction transaction(dm.ADOConn);
    int row = 2;
    int stored = 0;
    try {
        for (;; ++row) {
            // The employee number first: the row that ends the list (a totals row, say)
            // is never checked.
            const QString number = sheet.cell(row, columns.number);
            if (number.isEmpty())
                break;
            appendSalaryRow(dm, sheet, columns, row, number);
            ++stored;
        }
    } catch (const std::exception& e) {
        // The unfinished row goes; the rows before it stay.
        dropUnfinishedRow(salary);
        const QString reason = describeError(e);
        commitImport(transaction, salary);
        throw DbError(rowRefusal(row, reason, stored));
    }
    commitImport(transaction, salary);
    return stored;
}

QString salaryImportedMessage(int stored)
{
    return QStringLiteral("共导入数据%1条。").arg(stored);
}

} // namespace bankprep
