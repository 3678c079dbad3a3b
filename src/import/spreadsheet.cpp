#include "spreadsheet.h"

#include "data/fileguard.h"

#include "data/dberror.h"
#include "data/gbk.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <cmath>
#include <freexl.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace bankprep {

// ---------------------------------------------------------------------------
// Cells

QString Spreadsheet::cellName(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

void Spreadsheet::set(int row, int column, const Cell& cell)
{
    if (row < 1 || column < 1)
        return;
    m_cells.insert((quint64(row) << 32) | quint32(column), cell);
    m_rows = std::max(m_rows, row);
}

QString Spreadsheet::cell(int row, int column) const
{
    const auto it = m_cells.constFind((quint64(row) << 32) | quint32(column));
    if (it == m_cells.cend())
        return QString();
    if (it->lostDigits) {
        throw DbError(
            QStringLiteral("单元格%1中的数字“%"
                           "2”超过15位有效数字，文件中已丢失了数位（卡号等应以文本格式保存）。")
                .arg(cellName(row, column), it->text));
    }
    return it->text;
}

QString numberCellText(double value, bool* lost)
{
    *lost = false;
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");
    // A spreadsheet keeps 15 significant digits: a larger whole number has lost some.
    if (std::fabs(value) >= 1e15)
        *lost = true;
    QString text = QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
    int significant = 0;
    bool leading = true;
    for (QChar c : text) {
        if (!c.isDigit())
            continue;
        if (leading && c == QLatin1Char('0'))
            continue;
        leading = false;
        ++significant;
    }
    // Trailing zeros of a whole number are not significant digits.
    if (!text.contains(QLatin1Char('.'))) {
        for (qsizetype i = text.size() - 1; i >= 0 && text.at(i) == QLatin1Char('0'); --i)
            --significant;
    }
    if (significant > 15)
        *lost = true;
    return text;
}

// ---------------------------------------------------------------------------
// CSV

void parseCsv(const QString& text, Spreadsheet* sheet)
{
    int row = 1;
    int col = 1;
    QString field;
    bool quoted = false;
    bool any = false;
    auto endField = [&] {
        if (!field.isEmpty())
            sheet->set(row, col, {field, false});
        field.clear();
        ++col;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        any = true;
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            endField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            endField();
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            ++row;
            col = 1;
            any = false;
        } else {
            field += c;
        }
    }
    if (any)
        endField();
}

namespace {

std::unique_ptr<Spreadsheet> openCsv(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return nullptr;
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder dec(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        text = dec.decode(QByteArrayView(bytes).sliced(3));
        if (dec.hasError())
            return nullptr;
    } else if (!GbkEncoder::instance().decode(bytes.constData(), bytes.size(), text)) {
        return nullptr;
    }
    auto sheet = std::make_unique<Spreadsheet>();
    parseCsv(text, sheet.get());
    return sheet;
}

// ---------------------------------------------------------------------------
// XLS (BIFF8 in an OLE2 compound file), through freexl

// The active tab of the workbook: its WINDOW1 record (0x003D), which freexl does not
// report. Read from the compound file's Workbook stream; 0 when anything is unexpected.
int xlsActiveTab(const QByteArray& file)
{
    auto u16 = [&](qsizetype at) -> quint32 {
        return at + 2 <= file.size() ? quint32(quint8(file[at]) | (quint8(file[at + 1]) << 8)) : 0;
    };
    auto u32 = [&](qsizetype at) -> quint32 { return u16(at) | (u16(at + 2) << 16); };
    if (file.size() < 512 || !file.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return 0;
    const quint32 shift = u16(0x1E);
    if (shift < 7 || shift > 16)
        return 0;
    const qsizetype sectorSize = qsizetype(1) << shift;
    auto sectorOffset = [&](quint32 s) { return qsizetype(s + 1) * sectorSize; };
    // The FAT from the header's DIFAT (enough for files up to several MB) and its chain.
    std::vector<quint32> fatSectors;
    for (int i = 0; i < 109; ++i) {
        const quint32 s = u32(0x4C + i * 4);
        if (s < 0xFFFFFFFA)
            fatSectors.push_back(s);
    }
    quint32 difat = u32(0x44);
    for (int guard = 0; difat < 0xFFFFFFFA && guard < 1000; ++guard) {
        const qsizetype off = sectorOffset(difat);
        const qsizetype per = sectorSize / 4 - 1;
        for (qsizetype i = 0; i < per; ++i) {
            const quint32 s = u32(off + i * 4);
            if (s < 0xFFFFFFFA)
                fatSectors.push_back(s);
        }
        difat = u32(off + per * 4);
    }
    std::vector<quint32> fat;
    for (quint32 s : fatSectors) {
        const qsizetype off = sectorOffset(s);
        for (qsizetype i = 0; i < sectorSize / 4; ++i)
            fat.push_back(u32(off + i * 4));
    }
    auto chain = [&](quint32 start, qsizetype limit) {
        QByteArray out;
        for (quint32 s = start; s < fat.size() && out.size() < limit; s = fat[s]) {
            const qsizetype off = sectorOffset(s);
            if (off + sectorSize > file.size())
                break;
            out += file.mid(off, sectorSize);
            if (out.size() > file.size())
                break; // a loop in a damaged file
        }
        return out;
    };
    const QByteArray dir = chain(u32(0x30), file.size());
    for (qsizetype e = 0; e + 128 <= dir.size(); e += 128) {
        const int nameBytes = quint8(dir[e + 0x40]) | (quint8(dir[e + 0x41]) << 8);
        if (nameBytes < 2 || nameBytes > 64)
            continue;
        const QString name = QString::fromUtf16(
            reinterpret_cast<const char16_t*>(dir.constData() + e), nameBytes / 2 - 1);
        if (name != QLatin1String("Workbook") && name != QLatin1String("Book"))
            continue;
        const quint32 start =
            quint32(quint8(dir[e + 0x74]) | (quint8(dir[e + 0x75]) << 8) |
                    (quint8(dir[e + 0x76]) << 16) | (quint32(quint8(dir[e + 0x77])) << 24));
        const quint32 size =
            quint32(quint8(dir[e + 0x78]) | (quint8(dir[e + 0x79]) << 8) |
                    (quint8(dir[e + 0x7A]) << 16) | (quint32(quint8(dir[e + 0x7B])) << 24));
        QByteArray stream;
        if (size >= u32(0x38)) {
            stream = chain(start, size).left(size);
        } else {
            // A small stream lives in the mini stream: the root entry's data, cut into
            // mini sectors that the mini FAT chains.
            const quint32 rootStart =
                quint32(quint8(dir[0x74]) | (quint8(dir[0x75]) << 8) | (quint8(dir[0x76]) << 16) |
                        (quint32(quint8(dir[0x77])) << 24));
            const QByteArray mini = chain(rootStart, file.size());
            const QByteArray miniFatBytes = chain(u32(0x3C), file.size());
            const qsizetype miniSize = qsizetype(1) << std::min<quint32>(u16(0x20), 12);
            for (quint32 m = start, guard = 0;
                 m < 0xFFFFFFFA && stream.size() < qsizetype(size) && guard < 100000; ++guard) {
                if (qsizetype(m + 1) * miniSize > mini.size() ||
                    qsizetype(m) * 4 + 4 > miniFatBytes.size())
                    return 0;
                stream += mini.mid(qsizetype(m) * miniSize, miniSize);
                const qsizetype at = qsizetype(m) * 4;
                m = quint32(quint8(miniFatBytes[at]) | (quint8(miniFatBytes[at + 1]) << 8) |
                            (quint8(miniFatBytes[at + 2]) << 16) |
                            (quint32(quint8(miniFatBytes[at + 3])) << 24));
            }
            stream = stream.left(size);
        }
        for (qsizetype at = 0; at + 4 <= stream.size();) {
            const int type = quint8(stream[at]) | (quint8(stream[at + 1]) << 8);
            const int len = quint8(stream[at + 2]) | (quint8(stream[at + 3]) << 8);
            if (type == 0x003D && len >= 12 && at + 4 + 12 <= stream.size())
                return quint8(stream[at + 4 + 10]) | (quint8(stream[at + 4 + 11]) << 8);
            if (type == 0x000A)
                break; // the end of the workbook globals
            at += 4 + len;
        }
        return 0;
    }
    return 0;
}

std::unique_ptr<Spreadsheet> openXls(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = f.readAll();
    f.close();
    const void* handle = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        return nullptr;
    }
    struct Closer
    {
        const void* h;
        ~Closer() { freexl_close(h); }
    } closer{handle};
    unsigned int sheets = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0)
        return nullptr;
    unsigned int active = unsigned(xlsActiveTab(bytes));
    if (active >= sheets)
        active = 0;
    if (freexl_select_active_worksheet(handle, quint16(active)) != FREEXL_OK)
        return nullptr;
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK)
        return nullptr;
    auto sheet = std::make_unique<Spreadsheet>();
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK)
                return nullptr;
            Spreadsheet::Cell cell;
            switch (v.type) {
            case FREEXL_CELL_NULL:
                continue;
            case FREEXL_CELL_INT:
                cell.text = QString::number(v.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                cell.text = numberCellText(v.value.double_value, &cell.lostDigits);
                break;
            default:
                cell.text = QString::fromUtf8(v.value.text_value);
                break;
            }
            sheet->set(int(r) + 1, int(c) + 1, cell);
        }
    }
    return sheet;
}

// ---------------------------------------------------------------------------
// XLSX

bool readZipEntry(QuaZip& zip, const QString& name, QByteArray* out)
{
    if (!zip.setCurrentFile(name))
        return false;
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *out = file.readAll();
    file.close();
    return file.getZipError() == UNZ_OK;
}

// "AB12" to row 12, column 28.
bool parseRef(QStringView ref, int* row, int* col)
{
    int c = 0;
    qsizetype i = 0;
    while (i < ref.size() && ref.at(i).isLetter()) {
        c = c * 26 + (ref.at(i).toUpper().unicode() - u'A' + 1);
        ++i;
    }
    bool ok = false;
    const int r = ref.mid(i).toInt(&ok);
    if (!ok || c == 0)
        return false;
    *row = r;
    *col = c;
    return true;
}

bool isDateFormat(int id, const QString& code)
{
    if ((id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return true;
    if (code.isEmpty())
        return false;
    // A custom format is a date when, outside quotes and brackets, it shows y, m or d.
    bool quote = false;
    bool bracket = false;
    for (QChar ch : code) {
        if (ch == QLatin1Char('"'))
            quote = !quote;
        else if (ch == QLatin1Char('['))
            bracket = true;
        else if (ch == QLatin1Char(']'))
            bracket = false;
        else if (!quote && !bracket && QStringLiteral("ymdYMD").contains(ch))
            return true;
    }
    return false;
}

std::unique_ptr<Spreadsheet> openXlsx(const QString& path)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return nullptr;
    QByteArray workbook, rels, shared, styles, sheetXml;
    if (!readZipEntry(zip, QStringLiteral("xl/workbook.xml"), &workbook) ||
        !readZipEntry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), &rels))
        return nullptr;
    readZipEntry(zip, QStringLiteral("xl/sharedStrings.xml"), &shared);
    readZipEntry(zip, QStringLiteral("xl/styles.xml"), &styles);

    // The sheets in order, and the active one.
    int activeTab = 0;
    QStringList sheetRels;
    {
        QXmlStreamReader x(workbook);
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement())
                continue;
            if (x.name() == QLatin1String("workbookView"))
                activeTab = x.attributes().value(QLatin1String("activeTab")).toInt();
            else if (x.name() == QLatin1String("sheet")) {
                for (const QXmlStreamAttribute& a : x.attributes()) {
                    if (a.name() == QLatin1String("id"))
                        sheetRels << a.value().toString();
                }
            }
        }
        if (x.hasError())
            return nullptr;
    }
    if (sheetRels.isEmpty())
        return nullptr;
    if (activeTab < 0 || activeTab >= sheetRels.size())
        activeTab = 0;
    QString target;
    {
        QXmlStreamReader x(rels);
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("Relationship") &&
                x.attributes().value(QLatin1String("Id")) == sheetRels.at(activeTab))
                target = x.attributes().value(QLatin1String("Target")).toString();
        }
        if (x.hasError() || target.isEmpty())
            return nullptr;
    }
    target = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
    if (!readZipEntry(zip, target, &sheetXml))
        return nullptr;

    QStringList strings;
    if (!shared.isEmpty()) {
        QXmlStreamReader x(shared);
        QString current;
        int depthRph = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement()) {
                if (x.name() == QLatin1String("si"))
                    current.clear();
                else if (x.name() == QLatin1String("rPh"))
                    ++depthRph;
                else if (x.name() == QLatin1String("t") && depthRph == 0)
                    current += x.readElementText();
            } else if (x.isEndElement()) {
                if (x.name() == QLatin1String("si"))
                    strings << current;
                else if (x.name() == QLatin1String("rPh"))
                    --depthRph;
            }
        }
        if (x.hasError())
            return nullptr;
    }

    // Which cell styles show dates.
    QList<bool> dateStyles;
    if (!styles.isEmpty()) {
        QHash<int, QString> formats;
        QXmlStreamReader x(styles);
        bool inCellXfs = false;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("numFmt"))
                formats.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                               x.attributes().value(QLatin1String("formatCode")).toString());
            else if (x.isStartElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = true;
            else if (x.isEndElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            else if (inCellXfs && x.isStartElement() && x.name() == QLatin1String("xf")) {
                const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                dateStyles << isDateFormat(id, formats.value(id));
            }
        }
    }

    auto sheet = std::make_unique<Spreadsheet>();
    QXmlStreamReader x(sheetXml);
    int row = 0;
    int nextCol = 1;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement() && x.name() == QLatin1String("row")) {
            const int r = x.attributes().value(QLatin1String("r")).toInt();
            row = r > 0 ? r : row + 1;
            nextCol = 1;
        } else if (x.isStartElement() && x.name() == QLatin1String("c")) {
            int r = row;
            int c = nextCol;
            const QStringView ref = x.attributes().value(QLatin1String("r"));
            if (!ref.isEmpty() && !parseRef(ref, &r, &c))
                return nullptr;
            nextCol = c + 1;
            const QString type = x.attributes().value(QLatin1String("t")).toString();
            const int style = x.attributes().value(QLatin1String("s")).toInt();
            QString value;
            QString inlineText;
            bool hasValue = false;
            while (!(x.isEndElement() && x.name() == QLatin1String("c")) && !x.atEnd()) {
                x.readNext();
                if (x.isStartElement() && x.name() == QLatin1String("v")) {
                    value = x.readElementText();
                    hasValue = true;
                } else if (x.isStartElement() && x.name() == QLatin1String("t")) {
                    inlineText += x.readElementText();
                    hasValue = true;
                }
            }
            if (!hasValue)
                continue;
            Spreadsheet::Cell cell;
            if (type == QLatin1String("s")) {
                bool ok = false;
                const int k = value.toInt(&ok);
                if (!ok || k < 0 || k >= strings.size())
                    return nullptr;
                cell.text = strings.at(k);
            } else if (type == QLatin1String("inlineStr")) {
                cell.text = inlineText;
            } else if (type == QLatin1String("str") || type == QLatin1String("e") ||
                       type == QLatin1String("d")) {
                cell.text = value;
            } else if (type == QLatin1String("b")) {
                cell.text =
                    value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            } else {
                bool ok = false;
                const double d = value.toDouble(&ok);
                if (!ok)
                    return nullptr;
                if (style >= 0 && style < dateStyles.size() && dateStyles.at(style)) {
                    cell.text = QDate(1899, 12, 30)
                                    .addDays(qint64(std::floor(d)))
                                    .toString(QStringLiteral("yyyy-MM-dd"));
                } else {
                    cell.text = numberCellText(d, &cell.lostDigits);
                }
            }
            sheet->set(r, c, cell);
        }
    }
    if (x.hasError())
        return nullptr;
    return sheet;
}

} // namespace

std::unique_ptr<Spreadsheet> openSpreadsheet(const QString& path)
{
    const QFileInfo info(path);
    if (!FileGuard::inputProblem(path).isEmpty())
        return nullptr;
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return openXls(path);
    if (suffix == QLatin1String("xlsx"))
        return openXlsx(path);
    if (suffix == QLatin1String("csv"))
        return openCsv(path);
    // Another name: try what the content may be.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray head = f.read(8);
    if (head.startsWith("\xD0\xCF\x11\xE0"))
        return openXls(path);
    if (head.startsWith("PK"))
        return openXlsx(path);
    return openCsv(path);
}

} // namespace bankprep
