#pragma once

#include "core/import/importbatch.h"
#include "core/import/spreadsheet.h"

#include <QString>
#include <QStringList>

namespace bankprep {

class TDataModule2;

// The column titles of a sheet: row 1 from column 1 up to the first empty cell.
QStringList spreadsheetTitles(const Spreadsheet& sheet);

// A payroll spreadsheet opened for the import, as the desktop program and the
// command-line tool open it: the active sheet and its titles.
struct SalaryFile
{
    Spreadsheet sheet;
    QStringList titles;
    ImportSource source; // the path and the hash of the file's bytes
};
// Throws DbError when the file cannot be imported: the reason openSpreadsheet gives
// ("文件打开失败。", a file that may not be read), or "文件中没有列标题。".
SalaryFile openSalaryFile(const QString& path);

// Columns of the payroll fields, counted from 1.
struct SalaryColumns
{
    int number = 1; // 编号
    int name = 1;   // 姓名
    int card = 1;   // 卡号
    int amount = 1; // 实发工资
};

// The import of an opened payroll file once the clerk has chosen its columns, as both
// programs run it. Appends one payroll line per sheet row from row 2, through the salary
// table (so each row carries the current user's number), until the employee-number cell
// is empty, and returns how many were stored. A row that cannot be stored (an amount
// that is not a number, a text longer than its column, a number cell that lost digits)
// stops the import: that row is dropped, the rows stored before it stay, and the
// DbError names the row and says how many ("导入第3行时出错：…。已导入数据1条。"). When
// the database refuses to commit, nothing of the import stays, the salary table is
// re-read and the DbError says so. The salary table need not be open. The rows stored
// are recorded as one batch of `source`, so that the import can be undone.
int importSalary(TDataModule2& dm, const Spreadsheet& sheet, const SalaryColumns& columns,
                 const ImportSource& source = {});

// The preview of the import with these columns: the first `shown` rows as they would be
// stored, each cell that would stop the import marked with the import's message, and
// the count and total of every row the import would read.
struct ImportPreview;
ImportPreview previewSalaryImport(const Spreadsheet& sheet, const SalaryColumns& columns,
                                  int shown = 200);

// What the clerk is told of a finished import: "共导入数据N条。".
QString salaryImportedMessage(int stored);

// Why a payroll card number is probably not a bank card number: it is not 16 to 19
// digits, or its check digit is wrong (the Luhn check cards carry). Empty when it looks
// right. Only a warning: some bank accounts are not cards.
QString cardNumberProblem(QStringView card);
bool passesLuhn(QStringView digits);

// The warnings of the rows an import stored (sheet rows 2 to stored + 1), naming the
// sheet row; and of the payroll lines a table presents, naming their place in the list.
// At most 20 lines, then how many in all; empty when every card number looks right.
QStringList cardNumberWarnings(const Spreadsheet& sheet, const SalaryColumns& columns, int stored);
class Table;
QStringList cardNumberWarnings(Table& salary);
// The heading of those warnings for the clerk.
QString cardWarningHeading();

} // namespace bankprep
