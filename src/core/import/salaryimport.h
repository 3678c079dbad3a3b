#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace bankprep {

class Spreadsheet;
class TDataModule2;

// The column titles of a sheet: row 1 from column 1 up to the first empty cell.
QStringList spreadsheetTitles(const Spreadsheet& sheet);

// A payroll spreadsheet opened for the import, as the desktop program and the
// command-line tool open it: the active sheet and its titles, or why it cannot be
// imported ("文件打开失败。", "文件中没有列标题。", or a file that may not be read).
struct SalaryFile
{
    std::unique_ptr<Spreadsheet> sheet;
    QStringList titles;
    QString problem; // empty when the import can go on
};
SalaryFile openSalaryFile(const QString& path);

// Columns of the payroll fields, counted from 1.
struct SalaryColumns
{
    int number = 1; // 编号
    int name = 1;   // 姓名
    int card = 1;   // 卡号
    int amount = 1; // 实发工资
};

struct SalaryImportResult
{
    bool ok = false;
    int stored = 0;
    QString message; // "共导入数据N条。", or the reason a row was refused
};

// Appends one payroll line per sheet row from row 2, through the salary table (so each
// row carries the current user's number), until the employee-number cell is empty. A
// row that cannot be stored (an amount that is not a number, a text longer than its
// column, a number cell that lost digits) stops the import: that row is dropped, the
// rows stored before it stay, and the message names the row and says how many.
SalaryImportResult importSalary(TDataModule2& dm, const Spreadsheet& sheet,
                                const SalaryColumns& columns);

} // namespace bankprep
