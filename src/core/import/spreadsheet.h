#pragma once

#include "core/data/dberror.h"

#include <QHash>
#include <QString>
#include <vector>

namespace bankprep {

// The active sheet of a spreadsheet file, every cell as text (see numberCellText and
// formattedNumberText; docs/SPREADSHEETS.md), an empty cell as the empty text; texts
// untrimmed. Rows and columns count from 1.
class Spreadsheet
{
public:
    struct Cell
    {
        QString text;
        bool lostDigits = false; // a number cell with more than 15 significant digits
    };

    // Throws DbError for a number cell whose digits the file has already lost (a card
    // number typed as a number), naming the cell.
    QString cell(int row, int column) const;
    static QString cellName(int row, int column); // "D3"

    void set(int row, int column, const Cell& cell);
    int rowCount() const { return m_rows; }

    // A delimited text file: its cells are the file's texts as written (an amount may
    // carry thousands separators), not values a spreadsheet turned into text.
    bool isDelimitedText() const { return m_delimitedText; }
    void setDelimitedText(bool on) { m_delimitedText = on; }

private:
    // The cells of the first columns row by row (a payroll list's), any beyond them by
    // their position: 100,000 rows are stored and read without hashing 400,000 cells,
    // and a cell far to the right costs no more than one cell.
    static constexpr int kGridColumns = 64;
    std::vector<std::vector<Cell>> m_grid;
    QHash<quint64, Cell> m_far;
    int m_rows = 0;
    bool m_delimitedText = false;
};

// How a cell's number format shows its number.
enum class NumberFormat
{
    Number,
    Date,
    Time,
    DateTime
};
// By the built-in format id, or by the format's code when the workbook defines one.
NumberFormat classifyNumberFormat(int id, const QString& code);

// The text of a number cell as the spreadsheet application's automation gives it:
// 15 significant digits, no grouping, no exponent (4111.599999999999 gives 4111.6).
// *lost is set for a number of 10^15 or more: its digits beyond the 15th are gone (a
// card number typed as a number).
QString numberCellText(double value, bool* lost);

// A number in its cell format: dates as yyyy-MM-dd (with " HH:mm:ss" when the time is
// not midnight), times of day as HH:mm:ss, in the workbook's 1900 or 1904 date system
// (1900: serial 1 is 1900-01-01 and serial 60 the application's 1900-02-29). A serial
// no date can have is shown as a number.
QString formattedNumberText(double value, NumberFormat format, bool date1904, bool* lost);

// Booleans read "TRUE" and "FALSE"; error cells by their name ("#DIV/0!").
QString booleanCellText(bool value);
QString errorCellText(int biffCode);

// Opens a .xls (BIFF8), .xlsx or .csv file, by its extension, and reads its active sheet
// (a .csv file is GBK unless it starts with the UTF-8 byte-order mark). Throws DbError
// when the file is missing, locked, damaged or not what its extension says, saying why
// in Chinese (spreadsheetOpenFailure() unless there is more to say).
Spreadsheet openSpreadsheet(const QString& path);

// The refusal of a file that cannot be read as a spreadsheet when there is nothing more
// to say: "文件打开失败。".
DbError spreadsheetOpenFailure();

// Parses comma-separated text as spreadsheet programs write it (double quotes around a
// field, "" for a quote inside one, line breaks inside quotes kept).
void parseCsv(const QString& text, Spreadsheet* sheet);

} // namespace bankprep
