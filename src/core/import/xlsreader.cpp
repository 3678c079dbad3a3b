#include "core/import/xlsreader.h"

#include "core/data/gbk.h"
#include "core/import/compoundfile.h"
#include "core/import/spreadsheet.h"

#include <QHash>
#include <QStringDecoder>
#include <cstring>
#include <vector>

namespace bankprep {

namespace {

// Record types.
enum : quint16
{
    kFormula = 0x0006,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
};

struct Record
{
    quint16 type = 0;
    QByteArrayView data;
};

// The records of a stream from an offset, each with the data of the CONTINUE records
// that follow it kept as separate segments (strings restart at a segment boundary).
class Records
{
public:
    Records(const QByteArray& stream, qsizetype from) : m_stream(stream), m_pos(from) {}

    // The next record and its continuations; false at the end or at a record that
    // runs past the stream.
    bool next(Record* record, std::vector<QByteArrayView>* continues)
    {
        if (!read(record))
            return false;
        continues->clear();
        Record c;
        qsizetype mark = m_pos;
        while (read(&c) && c.type == kContinue) {
            continues->push_back(c.data);
            mark = m_pos;
        }
        m_pos = mark;
        return true;
    }

private:
    bool read(Record* r)
    {
        if (m_pos < 0 || m_pos + 4 > m_stream.size())
            return false;
        const auto* p = reinterpret_cast<const quint8*>(m_stream.constData() + m_pos);
        r->type = quint16(p[0] | (p[1] << 8));
        const qsizetype len = p[2] | (p[3] << 8);
        if (m_pos + 4 + len > m_stream.size())
            return false;
        r->data = QByteArrayView(m_stream.constData() + m_pos + 4, len);
        m_pos += 4 + len;
        return true;
    }

    const QByteArray& m_stream;
    qsizetype m_pos;
};

// Reads across a record and its continuations. Plain fields run on over a boundary;
// the characters of a string start again after one with a new option byte (BIFF8).
class Cursor
{
public:
    Cursor(QByteArrayView first, const std::vector<QByteArrayView>& more, qsizetype start = 0)
    {
        m_segs.push_back(first);
        m_segs.insert(m_segs.end(), more.begin(), more.end());
        m_pos = start;
    }

    bool bad() const { return m_bad; }
    bool atEnd()
    {
        skipEmpty();
        return m_seg >= m_segs.size();
    }

    quint8 u8()
    {
        skipEmpty();
        if (m_seg >= m_segs.size()) {
            m_bad = true;
            return 0;
        }
        return quint8(m_segs[m_seg][m_pos++]);
    }
    quint16 u16()
    {
        const quint16 lo = u8();
        return quint16(lo | (u8() << 8));
    }
    quint32 u32()
    {
        const quint32 lo = u16();
        return lo | (quint32(u16()) << 16);
    }
    void skip(qint64 n)
    {
        while (n > 0 && !m_bad) {
            skipEmpty();
            if (m_seg >= m_segs.size()) {
                m_bad = true;
                return;
            }
            const qint64 take = std::min<qint64>(n, m_segs[m_seg].size() - m_pos);
            m_pos += take;
            n -= take;
        }
    }

    // `count` characters, two bytes each when `wide`. In BIFF8 a string cut by a
    // continuation goes on after an option byte that says the width of the rest.
    QString chars(int count, bool wide)
    {
        QString out;
        out.reserve(count);
        int remaining = count;
        while (remaining > 0 && !m_bad) {
            if (m_seg < m_segs.size() && m_pos >= m_segs[m_seg].size()) {
                ++m_seg;
                m_pos = 0;
                while (m_seg < m_segs.size() && m_segs[m_seg].isEmpty())
                    ++m_seg;
                if (m_seg >= m_segs.size()) {
                    m_bad = true;
                    break;
                }
                wide = quint8(m_segs[m_seg][m_pos++]) & 1;
                continue;
            }
            if (m_seg >= m_segs.size()) {
                m_bad = true;
                break;
            }
            const QByteArrayView seg = m_segs[m_seg];
            const qsizetype left = seg.size() - m_pos;
            const int n = int(std::min<qsizetype>(remaining, wide ? left / 2 : left));
            if (n == 0) {
                m_bad = true; // half a character before the boundary
                break;
            }
            for (int i = 0; i < n; ++i) {
                if (wide) {
                    out += QChar(char16_t(quint8(seg[m_pos]) | (quint8(seg[m_pos + 1]) << 8)));
                    m_pos += 2;
                } else {
                    out += QChar(char16_t(quint8(seg[m_pos++]))); // the low byte of UTF-16
                }
            }
            remaining -= n;
        }
        return out;
    }

    QByteArray bytes(int count)
    {
        QByteArray out;
        while (count > 0 && !m_bad) {
            skipEmpty();
            if (m_seg >= m_segs.size()) {
                m_bad = true;
                break;
            }
            const QByteArrayView seg = m_segs[m_seg];
            const int n = int(std::min<qsizetype>(count, seg.size() - m_pos));
            out.append(seg.data() + m_pos, n);
            m_pos += n;
            count -= n;
        }
        return out;
    }

private:
    void skipEmpty()
    {
        while (m_seg < m_segs.size() && m_pos >= m_segs[m_seg].size()) {
            ++m_seg;
            m_pos = 0;
        }
    }

    std::vector<QByteArrayView> m_segs;
    size_t m_seg = 0;
    qsizetype m_pos = 0;
    bool m_bad = false;
};

quint16 le16(QByteArrayView d, qsizetype at)
{
    return at + 2 <= d.size() ? quint16(quint8(d[at]) | (quint8(d[at + 1]) << 8)) : 0;
}

quint32 le32(QByteArrayView d, qsizetype at)
{
    return quint32(le16(d, at)) | (quint32(le16(d, at + 2)) << 16);
}

double le64double(QByteArrayView d, qsizetype at)
{
    quint64 bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | quint8(d[at + i]);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double rkValue(quint32 rk)
{
    double v;
    if (rk & 2) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 1) ? v / 100 : v;
}

// A cell of a record, whose rows and columns count from 0.
void put(Spreadsheet* sheet, int row, int col, const QString& text, bool lost = false)
{
    sheet->set(row + 1, col + 1, {text, lost});
}

class Workbook
{
public:
    explicit Workbook(const QByteArray& stream) : m_stream(stream) {}
    Spreadsheet read(); // throws spreadsheetOpenFailure()

private:
    struct Sheet
    {
        quint32 offset;
        quint8 type; // 0 worksheet, 1 macro sheet, 2 chart, 6 module
    };
    using Continues = std::vector<QByteArrayView>;

    void readGlobals();
    void readVersion(Records& records);
    void readFormat(QByteArrayView d, const Continues& more);
    void readSharedStrings(QByteArrayView d, const Continues& more);
    const Sheet& activeSheet() const;
    void readSheet(qsizetype offset, Spreadsheet* sheet);
    void readCellRecord(const Record& r, const Continues& more, Spreadsheet* sheet);
    void readMulRk(QByteArrayView d, Spreadsheet* sheet) const;
    void readFormula(QByteArrayView d, Spreadsheet* sheet);
    void readFormulaString(QByteArrayView d, const Continues& more, Spreadsheet* sheet);
    void putNumber(Spreadsheet* sheet, int row, int col, double value, quint16 xf) const;
    // BIFF8: cch (1 or 2 bytes), options, rich-text and extension counts, characters.
    // BIFF5: cch (1 or 2 bytes) and bytes in the workbook's code page.
    QString readString(Cursor& c, bool shortLength) const;
    QString decode8Bit(const QByteArray& bytes) const;
    QString numberText(double value, quint16 xf, bool* lost) const;

    const QByteArray& m_stream;
    bool m_biff8 = true;
    bool m_date1904 = false;
    int m_codePage = 1252;
    int m_activeTab = 0;
    std::vector<Sheet> m_sheets;
    std::vector<quint16> m_xfFormats;
    QHash<int, QString> m_formats;
    std::vector<QString> m_sst;
    // The cell a FORMULA record left waiting for its string result.
    int m_pendingRow = -1;
    int m_pendingCol = -1;
};

QString Workbook::decode8Bit(const QByteArray& bytes) const
{
    QString text;
    if (m_codePage == 936 && GbkEncoder::instance().decode(bytes.constData(), bytes.size(), text))
        return text;
    if (m_codePage != 936 && m_codePage != 1200 && m_codePage != 367 && m_codePage != 0) {
        QStringDecoder dec(QByteArrayLiteral("windows-") + QByteArray::number(m_codePage));
        if (dec.isValid()) {
            text = dec.decode(bytes);
            if (!dec.hasError())
                return text;
        }
    }
    return QString::fromLatin1(bytes);
}

QString Workbook::readString(Cursor& c, bool shortLength) const
{
    const int count = shortLength ? c.u8() : c.u16();
    if (!m_biff8)
        return decode8Bit(c.bytes(count));
    const quint8 options = c.u8();
    const int runs = (options & 0x08) ? c.u16() : 0;
    const quint32 extension = (options & 0x04) ? c.u32() : 0;
    const QString text = c.chars(count, options & 0x01);
    c.skip(qint64(runs) * 4);
    c.skip(extension);
    return text;
}

// The globals' BOF: BIFF8 (text in UTF-16) or BIFF5/7 (text in the code page).
void Workbook::readVersion(Records& records)
{
    Record r;
    std::vector<QByteArrayView> more;
    if (!records.next(&r, &more) || r.type != kBof || r.data.size() < 4)
        throw spreadsheetOpenFailure();
    const quint16 version = le16(r.data, 0);
    if (version != 0x0600 && version != 0x0500)
        throw spreadsheetOpenFailure();
    m_biff8 = version == 0x0600;
    m_codePage = m_biff8 ? 1200 : 1252;
}

// The workbook globals up to their EOF: code page, date system, active tab, sheets,
// cell formats, number formats and shared strings. An encrypted workbook is refused.
void Workbook::readGlobals()
{
    Records records(m_stream, 0);
    readVersion(records);
    Record r;
    std::vector<QByteArrayView> more;
    bool windowSeen = false;
    while (records.next(&r, &more)) {
        const QByteArrayView d = r.data;
        switch (r.type) {
        case kEof:
            return;
        case kFilePass:
            throw spreadsheetOpenFailure(); // encrypted
        case kCodePage:
            m_codePage = le16(d, 0);
            break;
        case kDateMode:
            m_date1904 = le16(d, 0) == 1;
            break;
        case kWindow1:
            if (!windowSeen && d.size() >= 12)
                m_activeTab = le16(d, 10);
            windowSeen = true;
            break;
        case kBoundSheet:
            if (d.size() >= 6)
                m_sheets.push_back({le32(d, 0), quint8(d[5])});
            break;
        case kXf:
            if (d.size() >= 4)
                m_xfFormats.push_back(le16(d, 2));
            break;
        case kFormat:
            readFormat(d, more);
            break;
        case kSst:
            readSharedStrings(d, more);
            break;
        default:
            break;
        }
    }
    // No EOF: what was read is all there is.
}

// FORMAT: a number format the workbook defines, by its id.
void Workbook::readFormat(QByteArrayView d, const Continues& more)
{
    if (d.size() < 3)
        return;
    Cursor c(d, more, 2);
    const QString code = readString(c, !m_biff8);
    if (!c.bad())
        m_formats.insert(le16(d, 0), code);
}

// SST: the shared strings, run on over CONTINUE records.
void Workbook::readSharedStrings(QByteArrayView d, const Continues& more)
{
    if (d.size() < 8)
        return;
    const quint32 unique = le32(d, 4);
    // Never more strings than the record could hold (3 bytes at least each).
    qsizetype room = d.size();
    for (const QByteArrayView& m : more)
        room += m.size();
    m_sst.reserve(size_t(std::min<qsizetype>(unique, room / 3)));
    Cursor c(d, more, 8);
    for (quint32 i = 0; i < unique && !c.atEnd(); ++i) {
        QString s = readString(c, false);
        if (c.bad())
            break; // a damaged table: the strings read so far stay
        m_sst.push_back(std::move(s));
    }
}

QString Workbook::numberText(double value, quint16 xf, bool* lost) const
{
    const int format = xf < m_xfFormats.size() ? m_xfFormats[xf] : 0;
    return formattedNumberText(value, classifyNumberFormat(format, m_formats.value(format)),
                               m_date1904, lost);
}

void Workbook::putNumber(Spreadsheet* sheet, int row, int col, double value, quint16 xf) const
{
    bool lost = false;
    const QString text = numberText(value, xf, &lost);
    put(sheet, row, col, text, lost);
}

// The tab WINDOW1 names, the first when it names none; a workbook has a sheet at least.
const Workbook::Sheet& Workbook::activeSheet() const
{
    if (m_sheets.empty())
        throw spreadsheetOpenFailure();
    const size_t tab = size_t(m_activeTab) < m_sheets.size() ? size_t(m_activeTab) : 0;
    return m_sheets[tab];
}

// The sheet's substream from its BOF at `offset` to its EOF, record by record.
void Workbook::readSheet(qsizetype offset, Spreadsheet* sheet)
{
    Records records(m_stream, offset);
    Record r;
    std::vector<QByteArrayView> more;
    if (!records.next(&r, &more) || r.type != kBof)
        throw spreadsheetOpenFailure(); // the workbook points at no sheet there: damaged
    m_pendingRow = -1;
    // A chart drawn on the sheet is a substream of its own (BOF ... EOF) inside the
    // sheet's; its series data are not the sheet's cells.
    int nested = 0;
    while (records.next(&r, &more)) {
        if (r.type == kBof) {
            ++nested;
            continue;
        }
        if (nested > 0) {
            if (r.type == kEof)
                --nested;
            continue;
        }
        if (r.type == kEof)
            return;
        readCellRecord(r, more, sheet);
    }
    // No EOF: the cells read are all there are.
}

// One record of the sheet: the cell it holds, if it is a cell record.
void Workbook::readCellRecord(const Record& r, const Continues& more, Spreadsheet* sheet)
{
    const QByteArrayView d = r.data;
    const int row = le16(d, 0);
    const int col = le16(d, 2);
    const quint16 xf = le16(d, 4);
    switch (r.type) {
    case kLabelSst:
        if (d.size() >= 10) {
            const quint32 k = le32(d, 6);
            if (k < m_sst.size())
                put(sheet, row, col, m_sst[k]);
        }
        break;
    case kLabel:
    case kRString:
        if (d.size() >= 8) {
            Cursor c(d, more, 6);
            const QString text = readString(c, false);
            put(sheet, row, col, text);
        }
        break;
    case kNumber:
        if (d.size() >= 14)
            putNumber(sheet, row, col, le64double(d, 6), xf);
        break;
    case kRk:
        if (d.size() >= 10)
            putNumber(sheet, row, col, rkValue(le32(d, 6)), xf);
        break;
    case kMulRk:
        readMulRk(d, sheet);
        break;
    case kBoolErr:
        if (d.size() >= 8)
            put(sheet, row, col, d[7] ? errorCellText(quint8(d[6])) : booleanCellText(d[6] != 0));
        break;
    case kFormula:
        readFormula(d, sheet);
        break;
    case kString:
        readFormulaString(d, more, sheet);
        break;
    default:
        break;
    }
}

// MULRK: RK numbers of cells side by side in one row, each with its own cell format.
void Workbook::readMulRk(QByteArrayView d, Spreadsheet* sheet) const
{
    const int row = le16(d, 0);
    const int col = le16(d, 2);
    for (qsizetype at = 4, c = col; at + 6 <= d.size() - 2; at += 6, ++c)
        putNumber(sheet, row, int(c), rkValue(le32(d, at + 2)), le16(d, at));
}

// FORMULA: its cached result; a text result follows in a STRING record.
void Workbook::readFormula(QByteArrayView d, Spreadsheet* sheet)
{
    if (d.size() < 14)
        return;
    const int row = le16(d, 0);
    const int col = le16(d, 2);
    m_pendingRow = -1;
    if (quint8(d[12]) != 0xFF || quint8(d[13]) != 0xFF) {
        putNumber(sheet, row, col, le64double(d, 6), le16(d, 4));
        return;
    }
    switch (quint8(d[6])) {
    case 0: // the text follows in a STRING record
        m_pendingRow = row;
        m_pendingCol = col;
        break;
    case 1:
        put(sheet, row, col, booleanCellText(d[8] != 0));
        break;
    case 2:
        put(sheet, row, col, errorCellText(quint8(d[8])));
        break;
    default: // an empty text
        break;
    }
}

// STRING: the text result of the FORMULA record before it.
void Workbook::readFormulaString(QByteArrayView d, const Continues& more, Spreadsheet* sheet)
{
    if (m_pendingRow < 0)
        return;
    Cursor c(d, more);
    const QString text = readString(c, false);
    if (!c.bad())
        put(sheet, m_pendingRow, m_pendingCol, text);
    m_pendingRow = -1;
}

Spreadsheet Workbook::read()
{
    readGlobals();
    const Sheet& active = activeSheet();
    Spreadsheet sheet;
    // A chart, macro or module sheet has no cells to import.
    if (active.type == 0)
        readSheet(qsizetype(active.offset), &sheet);
    return sheet;
}

// The workbook stream of a compound file: "Workbook" (BIFF8), or "Book" (BIFF5/7).
QByteArray workbookStream(const QByteArray& file)
{
    CompoundFile cf;
    cf.open(file);
    return cf.stream(cf.contains(QStringLiteral("Workbook")) ? QStringLiteral("Workbook")
                                                             : QStringLiteral("Book"));
}

} // namespace

Spreadsheet readXls(const QByteArray& file)
{
    const QByteArray stream = workbookStream(file);
    Workbook book(stream);
    return book.read();
}

} // namespace bankprep
