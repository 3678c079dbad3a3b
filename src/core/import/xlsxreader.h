#pragma once

#include "core/import/spreadsheet.h"

#include <QString>

class QIODevice;

namespace bankprep {

// The active sheet of an .xlsx workbook (transitional or strict), found as the packaging
// rules say: the workbook through the package's relationships, its sheets, shared
// strings and styles through the workbook's, part names ignoring letter case and
// tolerating "\" separators. Shared and inline strings (phonetic runs left out), numbers,
// formulas with their cached values (an empty cached value is an empty cell), booleans,
// errors, dates by their cell styles and the 1904 date system. Parts are read as a
// stream, so memory stays bounded whatever the archive claims; a workbook too large to
// import, a damaged archive or a cell reference beyond the sheet's limits throws DbError
// saying why in Chinese.
Spreadsheet readXlsx(const QString& path);
// The same from an open device holding the archive.
Spreadsheet readXlsx(QIODevice* archive);

} // namespace bankprep
