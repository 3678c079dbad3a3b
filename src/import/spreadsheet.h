#pragma once

#include <QHash>
#include <QString>
#include <memory>

namespace bankprep {

// The active sheet of a spreadsheet file, every cell as text: a number without
// grouping in its shortest exact form (3500.5, 0.1), a date as yyyy-MM-dd, an empty
// cell as the empty text; texts untrimmed. Rows and columns count from 1.
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

private:
    QHash<quint64, Cell> m_cells;
    int m_rows = 0;
};

// Opens a .xls (BIFF8), .xlsx or .csv file, by its extension, and reads its active sheet
// (a .csv file is GBK unless it starts with the UTF-8 byte-order mark). Null when the
// file is missing, locked, damaged or not what its extension says.
std::unique_ptr<Spreadsheet> openSpreadsheet(const QString& path);

// The text of a number cell: shortest exact decimal form; *lost is set when it holds
// more than 15 significant digits (the file kept only an approximation).
QString numberCellText(double value, bool* lost);

// Parses comma-separated text as spreadsheet programs write it (double quotes around a
// field, "" for a quote inside one, line breaks inside quotes kept).
void parseCsv(const QString& text, Spreadsheet* sheet);

} // namespace bankprep
