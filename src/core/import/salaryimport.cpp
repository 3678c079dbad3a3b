#include "core/import/salaryimport.h"
#include "core/data/names.h"

#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/data/money.h"
#include "core/import/spreadsheet.h"

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
    f.problem = FileGuard::inputProblem(path);
    if (!f.problem.isEmpty())
        return f;
    try {
        f.sheet = std::make_unique<Spreadsheet>(openSpreadsheet(path));
    } catch (const DbError& e) {
        f.problem = e.message();
        return f;
    }
    f.titles = spreadsheetTitles(*f.sheet);
    if (f.titles.isEmpty())
        f.problem = QStringLiteral("文件中没有列标题。");
    return f;
}

SalaryImportResult importSalary(TDataModule2& dm, const Spreadsheet& sheet,
                                const SalaryColumns& columns)
{
    SalaryImportResult result;
    Table& salary = *dm.ATSalary;
    Connection& conn = dm.ADOConn;
    try {
        salary.checkBrowseMode();
        conn.beginTransaction();
    } catch (const DbError& e) {
        result.message = e.message();
        return result;
    }
    int row = 2;
    try {
        for (;; ++row) {
            // The employee number first: the row that ends the list (a totals row, say)
            // is never checked.
            const QString number = sheet.cell(row, columns.number);
            if (number.isEmpty())
                break;
            const QString name = sheet.cell(row, columns.name);
            const QString card = sheet.cell(row, columns.card);
            const QString amountText = sheet.cell(row, columns.amount);
            // The decimal point is "." whatever the machine's locale; more than four
            // decimals are rounded as the currency conversion rounds them.
            const auto amount = Money::parseRounded(
                sheet.isDelimitedText() ? withoutGrouping(amountText) : amountText);
            if (!amount)
                throw DbError(QStringLiteral("实发工资“%1”不是有效的金额").arg(amountText));
            salary.append();
            salary.setValue(col::UserId, dm.CurrentUser);
            salary.setValue(col::EmployeeNo, number);
            salary.setValue(col::EmployeeName, name);
            salary.setValue(col::CardNo, card);
            salary.setValue(col::Amount, QVariant::fromValue(*amount));
            salary.post();
            ++result.stored;
        }
    } catch (const std::exception& e) {
        // The unfinished row goes; the rows before it stay.
        if (salary.isEditing()) {
            try {
                salary.cancel();
            } catch (...) {
            }
        }
        const QString reason = describeError(e);
        try {
            conn.commit();
        } catch (const DbError& c) {
            conn.rollback();
            result.stored = 0;
            result.message = c.message() + QStringLiteral("（本次没有导入任何数据）");
            try {
                salary.requery(); // show what the database holds
            } catch (...) {
            }
            return result;
        }
        QString because = reason;
        while (because.endsWith(QStringLiteral("。")))
            because.chop(1);
        result.message = QStringLiteral("导入第%1行时出错：%2。已导入数据%3条。")
                             .arg(row)
                             .arg(because)
                             .arg(result.stored);
        return result;
    }
    try {
        conn.commit();
    } catch (const DbError& e) {
        conn.rollback();
        result.stored = 0;
        result.message = e.message() + QStringLiteral("（本次没有导入任何数据）");
        try {
            salary.requery();
        } catch (...) {
        }
        return result;
    }
    result.ok = true;
    result.message = QStringLiteral("共导入数据%1条。").arg(result.stored);
    return result;
}

} // namespace bankprep
