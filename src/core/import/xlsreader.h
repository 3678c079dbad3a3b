#pragma once

#include "core/import/spreadsheet.h"

#include <QByteArray>

namespace bankprep {

// The active sheet of an .xls workbook (BIFF8, and BIFF5/7 as Excel 95 and some
// exporters write it) in a compound file: the tab that was active when it was saved
// (a chart or macro sheet has no cells), shared strings with their continuations,
// labels, numbers, RK values, formulas with their cached results, booleans and errors,
// dates by their cell formats, the 1904 date system and the workbook's code page.
// Every record and string is checked against the stream; memory stays within a small
// multiple of the file's size. Throws spreadsheetOpenFailure() when the file is not such
// a workbook, is encrypted or is damaged beyond reading.
Spreadsheet readXls(const QByteArray& file);

} // namespace bankprep
