#include "core/import/spreadsheet.h"

#include "core/import/textimport.h"

#include "core/data/fileguard.h"

#include "core/data/dberror.h"
#include "core/data/gbk.h"
#include "core/import/xlsreader.h"
#include "core/import/xlsxreader.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    // A cell written twice holds what was written last, an empty value included.
    if (column > kGridColumns) {
        const quint64 key = (quint64(row) << 32) | quint32(column);
        if (cell.text.isEmpty())
            m_far.remove(key);
        else
            m_far.insert(key, cell);
    } else if (cell.text.isEmpty()) {
        if (size_t(row) <= m_grid.size() && size_t(column) <= m_grid[size_t(row) - 1].size())
            m_grid[size_t(row) - 1][size_t(column) - 1] = Cell();
        return;
    } else {
        if (m_grid.size() < size_t(row))
            m_grid.resize(size_t(row));
        std::vector<Cell>& cells = m_grid[size_t(row) - 1];
        if (cells.size() < size_t(column))
            cells.resize(size_t(column));
        cells[size_t(column) - 1] = cell;
    }
    if (!cell.text.isEmpty())
        m_rows = std::max(m_rows, row);
}

QString Spreadsheet::cell(int row, int column) const
{
    const Cell* found = nullptr;
    if (row < 1 || column < 1)
        return QString();
    if (column > kGridColumns) {
        const auto it = m_far.constFind((quint64(row) << 32) | quint32(column));
        if (it != m_far.cend())
            found = &*it;
    } else if (size_t(row) <= m_grid.size() && size_t(column) <= m_grid[size_t(row) - 1].size()) {
        found = &m_grid[size_t(row) - 1][size_t(column) - 1];
    }
    if (!found || found->text.isEmpty())
        return QString();
    if (found->lostDigits) {
        throw DbError(
            QStringLiteral("单元格%1中的数字“%"
                           "2”超过15位有效数字，文件中已丢失了数位（卡号等应以文本格式保存）。")
                .arg(cellName(row, column), found->text));
    }
    return found->text;
}

QString numberCellText(double value, bool* lost)
{
    *lost = false;
    if (!std::isfinite(value))
        return QString();
    if (value == 0)
        return QStringLiteral("0");
    if (std::fabs(value) >= 1e15)
        *lost = true;
    // The 15 significant digits and the exponent, then written out without exponent.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const char* p = buffer;
    QString out;
    if (*p == '-') {
        out += QLatin1Char('-');
        ++p;
    }
    QByteArray digits;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    // digits d1 d2 ... stand for d1.d2... x 10^exponent.
    const int pointAfter = exponent + 1; // digits before the decimal point
    if (pointAfter <= 0) {
        out += QStringLiteral("0.") + QString(-pointAfter, QLatin1Char('0')) +
               QString::fromLatin1(digits);
    } else if (pointAfter >= digits.size()) {
        out += QString::fromLatin1(digits) + QString(pointAfter - digits.size(), QLatin1Char('0'));
    } else {
        out += QString::fromLatin1(digits.left(pointAfter)) + QLatin1Char('.') +
               QString::fromLatin1(digits.mid(pointAfter));
    }
    return out;
}

namespace {

// The built-in formats by their numbers (the Chinese ones among 27 to 58 included).
NumberFormat builtInNumberFormat(int id)
{
    if (id == 22)
        return NumberFormat::DateTime;
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) ||
        id == 57 || id == 58)
        return NumberFormat::Date;
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) || id == 55 ||
        id == 56)
        return NumberFormat::Time;
    return NumberFormat::Number;
}

// What decides how a custom format shows its number: its first section in lower case,
// without what is only written out as it stands, and whether an elapsed-time bracket
// ([h], [mm]) makes it a time.
struct FormatSection
{
    QString plain;
    bool elapsedTime = false;
};

// A custom format's first section, without quoted texts, escaped characters, colours
// and locale tags; elapsed-time brackets ([h], [mm]) count as time.
FormatSection firstSection(const QString& code)
{
    FormatSection section;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code.at(i);
        if (ch == QLatin1Char(';'))
            break;
        if (ch == QLatin1Char('"')) {
            while (++i < code.size() && code.at(i) != QLatin1Char('"')) {
            }
            continue;
        }
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i;
            continue;
        }
        if (ch == QLatin1Char('[')) {
            const qsizetype end = code.indexOf(QLatin1Char(']'), i);
            const QString inside = code.mid(i + 1, end < 0 ? -1 : end - i - 1).toLower();
            if (!inside.isEmpty() &&
                (inside.at(0) == QLatin1Char('h') || inside.at(0) == QLatin1Char('m') ||
                 inside.at(0) == QLatin1Char('s')))
                section.elapsedTime = true;
            if (end < 0)
                break;
            i = end;
            continue;
        }
        section.plain += ch.toLower();
    }
    section.plain.remove(QStringLiteral("general"));
    return section;
}

} // namespace

NumberFormat classifyNumberFormat(int id, const QString& code)
{
    if (code.isEmpty())
        return builtInNumberFormat(id);
    const FormatSection section = firstSection(code);
    bool date = false;
    bool time = section.elapsedTime;
    bool month = false;
    for (const QChar ch : section.plain) {
        if (ch == QLatin1Char('y') || ch == QLatin1Char('d'))
            date = true;
        else if (ch == QLatin1Char('h') || ch == QLatin1Char('s'))
            time = true;
        else if (ch == QLatin1Char('m'))
            month = true;
    }
    if (month && !time)
        date = true; // "mm" beside hours or seconds is minutes
    if (date && time)
        return NumberFormat::DateTime;
    if (date)
        return NumberFormat::Date;
    if (time)
        return NumberFormat::Time;
    return NumberFormat::Number;
}

QString formattedNumberText(double value, NumberFormat format, bool date1904, bool* lost)
{
    *lost = false;
    // The application's dates run from 1900-01-00 (1904-01-01) to 9999-12-31.
    const double last = date1904 ? 2957003 : 2958465;
    if (format == NumberFormat::Number || !std::isfinite(value) || value < 0 || value >= last + 1)
        return numberCellText(value, lost);
    qint64 days = qint64(std::floor(value));
    qint64 seconds = qint64(std::llround((value - double(days)) * 86400.0));
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                              .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (format == NumberFormat::Time) {
        if (days == 0)
            return clock;
        // More than a day in a time format: elapsed hours, as [h]:mm:ss shows them.
        return QStringLiteral("%1:%2:%3")
            .arg(days * 24 + seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    QString date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days).toString(QStringLiteral("yyyy-MM-dd"));
    } else if (days == 0) {
        date = QStringLiteral("1900-01-00");
    } else if (days == 60) {
        date = QStringLiteral("1900-02-29"); // the day the application's calendar has
    } else {
        date = QDate(1899, 12, days < 60 ? 31 : 30)
                   .addDays(days)
                   .toString(QStringLiteral("yyyy-MM-dd"));
    }
    return seconds == 0 ? date : date + QLatin1Char(' ') + clock;
}

QString booleanCellText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString errorCellText(int biffCode)
{
    switch (biffCode) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    case 0x2B:
        return QStringLiteral("#GETTING_DATA");
    default:
        return QStringLiteral("#N/A");
    }
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

DbError spreadsheetOpenFailure()
{
    return DbError(QStringLiteral("文件打开失败。"));
}

namespace {

// The whole file, read without blocking on a file swapped for a FIFO since it was checked.
QByteArray readSheetFile(const QString& path)
{
    try {
        return FileGuard::readInputFile(path);
    } catch (const DbError&) {
        throw spreadsheetOpenFailure();
    }
}

// A delimited text as the text imports read one: UTF-8 with its mark, or valid UTF-8
// holding text beyond ASCII (what spreadsheet programs other than Excel save), else GBK.
Spreadsheet csvOf(const QByteArray& bytes)
{
    QString text;
    if (detectEncoding(bytes) == TextEncoding::Utf8) {
        QStringDecoder dec(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const qsizetype mark = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        text = dec.decode(QByteArrayView(bytes).sliced(mark));
        if (dec.hasError())
            throw spreadsheetOpenFailure();
    } else if (!GbkEncoder::instance().decode(bytes.constData(), bytes.size(), text)) {
        throw spreadsheetOpenFailure();
    }
    Spreadsheet sheet;
    sheet.setDelimitedText(true);
    parseCsv(text, &sheet);
    return sheet;
}

// ---------------------------------------------------------------------------
// XLS

// A file of another name: read as what its content may be.
Spreadsheet openByContent(const QString& path)
{
    const QByteArray bytes = readSheetFile(path);
    if (bytes.startsWith("\xD0\xCF\x11\xE0"))
        return readXls(bytes);
    if (bytes.startsWith("PK"))
        return readXlsx(path);
    return csvOf(bytes);
}

} // namespace

Spreadsheet openSpreadsheet(const QString& path)
{
    FileGuard::checkInputFile(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return readXls(readSheetFile(path));
    if (suffix == QLatin1String("xlsx"))
        return readXlsx(path);
    if (suffix == QLatin1String("csv"))
        return csvOf(readSheetFile(path));
    return openByContent(path);
}

} // namespace bankprep
