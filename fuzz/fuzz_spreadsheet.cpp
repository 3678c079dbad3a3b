// libFuzzer target for the spreadsheet readers: the first byte picks the reader (.xls
// from memory, .xlsx through an in-memory archive, or delimited text), the rest is the
// file. Build and run: see fuzz/README.md.
#include "core/import/spreadsheet.h"
#include "core/import/xlsreader.h"
#include "core/import/xlsxreader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdint>

using namespace bankprep;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    Spreadsheet sheet;
    try {
        switch (data[0] % 3) {
        case 0:
            sheet = readXls(bytes);
            break;
        case 1: {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            sheet = readXlsx(&buffer);
            break;
        }
        default:
            parseCsv(QString::fromUtf8(bytes), &sheet);
            return 0; // texts as written: nothing more to turn into text
        }
    } catch (const DbError&) {
        return 0; // refused as damaged or too large: nothing to read
    }
    // Read what the import reads, as it reads it.
    for (int r = 1; r <= std::min(sheet.rowCount(), 50); ++r) {
        for (int c = 1; c <= 8; ++c) {
            try {
                (void)sheet.cell(r, c);
            } catch (...) {
            }
        }
    }
    return 0;
}
