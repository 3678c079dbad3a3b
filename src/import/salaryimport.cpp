#include "salaryimport.h"

#include "data/datamodule.h"
#include "data/money.h"
#include "import/spreadsheet.h"

namespace bankprep {

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
            // Read in this order: name, number, card, amount.
            const QString name = sheet.cell(row, columns.name);
            const QString number = sheet.cell(row, columns.number);
            const QString card = sheet.cell(row, columns.card);
            const QString amountText = sheet.cell(row, columns.amount);
            if (number.isEmpty())
                break;
            // The decimal point is "." whatever the machine's locale.
            const auto amount = Money::parse(amountText);
            if (!amount)
                throw DbError(QStringLiteral("实发工资“%1”不是有效的金额").arg(amountText));
            salary.append();
            salary.setValue(u"用户编号", dm.CurrentUser);
            salary.setValue(u"员工编号", number);
            salary.setValue(u"姓名", name);
            salary.setValue(u"卡号", card);
            salary.setValue(u"金额", QVariant::fromValue(*amount));
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
        const QString reason = dynamic_cast<const DbError*>(&e)
                                   ? static_cast<const DbError&>(e).message()
                                   : QString::fromLocal8Bit(e.what());
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
        result.message = QStringLiteral("导入第%1行时出错：%2。已导入数据%3条。")
                             .arg(row)
                             .arg(reason)
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
