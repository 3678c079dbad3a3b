#pragma once

#include "core/data/money.h"
#include "core/import/textimport.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace bankprep {

// The first records of an import as they would be stored, shown before anything is
// written, and the totals of the whole file.
struct ImportPreview
{
    static constexpr int kShownRows = 200;

    struct Cell
    {
        QString value;   // as it would be stored
        QString problem; // the import's own message refusing it; empty when none
    };
    QStringList headings;
    std::vector<int> lines; // each shown row's line in the file (row of a sheet)
    std::vector<std::vector<Cell>> rows;
    qint64 records = 0;      // of the whole file
    bool hasAmounts = false; // the import reads an amount
    Money total;             // of the amounts that are numbers
    bool totalOverflow = false;
    // The message with which the import would refuse the file (as it says it); empty
    // when it would import every record.
    QString refusal;
    TextEncoding encoding = TextEncoding::Gbk; // a text file's, as read
};

// The preview of a delimited-text import with these settings: the lines decoded in the
// settings' encoding, the first `shown` records with every cell checked, and every
// record of the file counted and summed (the same analysis the import runs).
ImportPreview previewTextImport(const ImportLayout& layout, const QByteArray& bytes,
                                const ImportSettings& settings,
                                int shown = ImportPreview::kShownRows);

// What the clerk reads under a preview: "共1000条记录，金额合计1,234.50元；文件编码：GBK。".
QString previewSummary(const ImportPreview& preview, bool showEncoding);

} // namespace bankprep
