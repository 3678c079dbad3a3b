#pragma once

#include <QByteArray>
#include <QPageLayout>
#include <QString>

class QPagedPaintDevice;

namespace bankprep {

struct PrintReport;

// Lays a report out on paper: A4, landscape when its columns need the width. Every page
// repeats the title, the facts and the column headings and is numbered "第1页，共3页";
// the last page ends with the total row, the count and total in figures and in capitals,
// and the signature lines, kept together.
QPageLayout reportPageLayout(const PrintReport& report);

// Paints the report on a printer or a PDF writer whose page layout is already set.
// Throws DbError when the device cannot be painted on.
void paintReport(const PrintReport& report, QPagedPaintDevice& device);

// The report as a PDF document.
QByteArray reportPdf(const PrintReport& report);

// Writes the report as a PDF, whole or not at all (the old file stays as it was on a
// full disk; a target that is no regular file is refused). Throws DbError.
void writeReportPdf(const PrintReport& report, const QString& path);

} // namespace bankprep
