#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace bankprep {

class Spreadsheet;

// The active sheet of an .xls workbook (BIFF8, and BIFF5/7 as Excel 95 and some
// exporters write it) in a compound file: the tab that was active when it was saved
// (a chart or macro sheet has no cells), shared strings with their continuations,
// labels, numbers, RK values, formulas with their cached results, booleans and errors,
// dates by their cell formats, the 1904 date system and the workbook's code page.
// Every record and string is checked against the stream; memory stays within a small
// multiple of the file's size. Null when the file is not such a workbook or is damaged
// beyond reading.
std::unique_ptr<Spreadsheet> readXls(const QByteArray& file);

} // namespace bankprep
