#include "core/import/xlsxreader.h"

#include "core/data/dberror.h"
#include "core/import/spreadsheet.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QXmlStreamReader>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace bankprep {

namespace {

// What a workbook may hold before its import is refused (the archive's own size fields
// are not trusted: reading stops at these).
constexpr qint64 kMaxPartBytes = 512LL << 20; // one uncompressed part
constexpr qint64 kMaxSmallPart = 32LL << 20;  // relationships, workbook, styles
constexpr int kMaxCells = 4'000'000;
constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

[[noreturn]] void fail()
{
    throw spreadsheetOpenFailure();
}

[[noreturn]] void fail(const QString& message)
{
    throw DbError(message);
}

// Part names as the packaging rules compare them: "/" separators, no leading "/", ".."
// resolved, letter case ignored.
QString normalName(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList out;
    for (const QString& seg : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (seg == QLatin1String("."))
            continue;
        if (seg == QLatin1String("..")) {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out << seg;
    }
    return out.join(QLatin1Char('/')).toLower();
}

QString folderOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

struct Relationship
{
    QString type;   // the last segment of its type ("officeDocument", "worksheet", ...)
    QString target; // normalised part name
};

class Package
{
public:
    explicit Package(const QString& path) : m_zip(path) {}
    explicit Package(QIODevice* archive) : m_zip(archive) {}

    void open()
    {
        if (!m_zip.open(QuaZip::mdUnzip))
            fail();
        for (const QString& name : m_zip.getFileNameList())
            m_names.insert(normalName(name), name);
        if (m_names.isEmpty())
            fail();
    }
    bool has(const QString& part) const { return m_names.contains(part); }

    QByteArray read(const QString& part, qint64 cap = kMaxSmallPart)
    {
        QByteArray out;
        stream(part, [&](QuaZipFile& f) {
            char buffer[1 << 16];
            for (;;) {
                const qint64 n = f.read(buffer, sizeof buffer);
                if (n < 0)
                    fail();
                if (n == 0)
                    break;
                if (out.size() + n > cap)
                    fail(QStringLiteral("文件打开失败：其中的“%1”太大，无法导入。").arg(part));
                out.append(buffer, n);
            }
        });
        return out;
    }

    // Opens the part and hands it to `use` as a device; checks the archive's checksum
    // after it.
    template <typename F> void stream(const QString& part, F use)
    {
        const auto it = m_names.constFind(part);
        if (it == m_names.cend() || !m_zip.setCurrentFile(*it))
            fail();
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly))
            fail();
        use(file);
        file.close();
        if (file.getZipError() != UNZ_OK)
            fail();
    }

    QList<Relationship> relationships(const QString& part)
    {
        const QString folder = folderOf(part);
        const QString relsPart =
            (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + QStringLiteral("_rels/") +
            part.mid(folder.isEmpty() ? 0 : folder.size() + 1) + QStringLiteral(".rels");
        QList<Relationship> out;
        if (!has(relsPart))
            return out;
        QXmlStreamReader x(read(relsPart));
        while (!x.atEnd() && !x.hasError()) {
            x.readNext();
            if (!x.isStartElement() || x.name() != QLatin1String("Relationship"))
                continue;
            const auto a = x.attributes();
            if (a.value(QLatin1String("TargetMode")) == QLatin1String("External"))
                continue;
            Relationship r;
            const QString type = a.value(QLatin1String("Type")).toString();
            r.type = type.mid(type.lastIndexOf(QLatin1Char('/')) + 1);
            const QString target = a.value(QLatin1String("Target")).toString();
            r.target = normalName(target.startsWith(QLatin1Char('/')) ||
                                          target.startsWith(QLatin1Char('\\'))
                                      ? target
                                      : folder + QLatin1Char('/') + target);
            r.type += QLatin1Char('#') + a.value(QLatin1String("Id")).toString();
            out << r;
        }
        if (x.hasError())
            fail();
        return out;
    }

private:
    QuaZip m_zip;
    QHash<QString, QString> m_names;
};

QString relationshipType(const Relationship& r)
{
    return r.type.left(r.type.indexOf(QLatin1Char('#')));
}
QString relationshipId(const Relationship& r)
{
    return r.type.mid(r.type.indexOf(QLatin1Char('#')) + 1);
}

struct CellRef
{
    int row;
    int col;
};

// "AB12": row 12, column 28. A reference beyond the sheet's limits, or anything else, is
// refused with the reference in the message.
CellRef parseRef(QStringView ref)
{
    const auto refuse = [ref] {
        fail(QStringLiteral("文件打开失败：单元格位置“%1”超出了表格的范围。").arg(ref.toString()));
    };
    qint64 c = 0;
    qsizetype i = 0;
    while (i < ref.size() && ref.at(i).isLetter()) {
        const char16_t u = ref.at(i).toUpper().unicode();
        if (u < u'A' || u > u'Z')
            refuse();
        c = c * 26 + (u - u'A' + 1);
        if (c > kMaxColumn)
            refuse();
        ++i;
    }
    bool ok = false;
    const qint64 r = ref.mid(i).toLongLong(&ok);
    if (!ok || c == 0 || r < 1 || r > kMaxRow)
        refuse();
    return {int(r), int(c)};
}

// The text of an <si> or <is> element: its <t> texts, phonetic runs (<rPh>) left out.
QString stringItem(QXmlStreamReader& x)
{
    const QStringView end = x.name();
    const QString endName = end.toString();
    QString text;
    int phonetic = 0;
    while (!x.atEnd() && !x.hasError()) {
        x.readNext();
        if (x.isStartElement()) {
            if (x.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (x.name() == QLatin1String("t") && phonetic == 0)
                text += x.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (x.isEndElement()) {
            if (x.name() == QLatin1String("rPh"))
                --phonetic;
            else if (x.name() == endName)
                break;
        }
    }
    return text;
}

// What a <c> element holds: its cached value (<v>) and its inline string (<is>).
struct CellContent
{
    QString value;
    QString inlineText;
    bool hasInline = false;
};

// The content of the <c> element the reader is on, read up to its end.
CellContent readCellContent(QXmlStreamReader& x)
{
    CellContent content;
    while (!x.atEnd() && !x.hasError()) {
        x.readNext();
        if (x.isEndElement() && x.name() == QLatin1String("c"))
            break;
        if (!x.isStartElement())
            continue;
        if (x.name() == QLatin1String("v")) {
            content.value = x.readElementText();
        } else if (x.name() == QLatin1String("is")) {
            content.inlineText += stringItem(x);
            content.hasInline = true;
        }
    }
    return content;
}

// A t="d" value, an ISO 8601 date with or without its time, as a date cell shows it.
QString isoDateText(const QString& value)
{
    QDateTime when = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime(QDate::fromString(value, Qt::ISODate), QTime(0, 0));
    if (!when.isValid())
        fail();
    return when.time() == QTime(0, 0) ? when.date().toString(QStringLiteral("yyyy-MM-dd"))
                                      : when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The r:id of a <sheet> element, whatever prefix the relationships namespace has.
QString sheetRelationshipId(const QXmlStreamAttributes& attributes)
{
    QString id;
    for (const QXmlStreamAttribute& attr : attributes) {
        if ((attr.name() == QLatin1String("id") && !attr.namespaceUri().isEmpty()) ||
            attr.qualifiedName().endsWith(QLatin1String(":id")))
            id = attr.value().toString();
    }
    return id;
}

class XlsxWorkbook
{
public:
    template <typename Source> explicit XlsxWorkbook(Source source) : m_package(source) {}
    Spreadsheet read();

private:
    // The part of the sheet to import, and whether it is a worksheet (with cells).
    struct SheetPart
    {
        QString part;
        bool worksheet = false;
    };

    QString workbookPart();
    QString readWorkbook(const QString& part);
    SheetPart readWorkbookParts(const QString& workbook, const QString& sheetId);
    void readStrings(const QString& part);
    void readStyles(const QString& part);
    void readSheet(const QString& part, Spreadsheet* sheet);
    void readCell(QXmlStreamReader& x, int row, int* nextCol, Spreadsheet* sheet);
    Spreadsheet::Cell cellOf(const QString& type, int style, const CellContent& content) const;

    Package m_package;
    bool m_date1904 = false;
    QStringList m_strings;
    QList<NumberFormat> m_styles;
    int m_cells = 0;
};

QString XlsxWorkbook::workbookPart()
{
    for (const Relationship& r : m_package.relationships(QString())) {
        if (relationshipType(r) == QLatin1String("officeDocument") && m_package.has(r.target))
            return r.target;
    }
    if (m_package.has(QStringLiteral("xl/workbook.xml")))
        return QStringLiteral("xl/workbook.xml");
    fail();
}

void XlsxWorkbook::readStrings(const QString& part)
{
    m_package.stream(part, [&](QuaZipFile& f) {
        QXmlStreamReader x(&f);
        while (!x.atEnd() && !x.hasError()) {
            x.readNext();
            if (f.pos() > kMaxPartBytes)
                fail(QStringLiteral("文件打开失败：其中的字符串表太大，无法导入。"));
            if (x.isStartElement() && x.name() == QLatin1String("si"))
                m_strings << stringItem(x);
        }
        if (x.hasError())
            fail();
    });
}

void XlsxWorkbook::readStyles(const QString& part)
{
    QHash<int, QString> formats;
    QXmlStreamReader x(m_package.read(part));
    bool inCellXfs = false;
    while (!x.atEnd() && !x.hasError()) {
        x.readNext();
        if (x.isStartElement() && x.name() == QLatin1String("numFmt")) {
            formats.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                           x.attributes().value(QLatin1String("formatCode")).toString());
        } else if (x.isStartElement() && x.name() == QLatin1String("cellXfs")) {
            inCellXfs = true;
        } else if (x.isEndElement() && x.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        } else if (inCellXfs && x.isStartElement() && x.name() == QLatin1String("xf")) {
            const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
            m_styles << classifyNumberFormat(id, formats.value(id));
        }
    }
}

// A <c> element: its position (its own "r", or the one after the row's last cell) and
// its text.
void XlsxWorkbook::readCell(QXmlStreamReader& x, int row, int* nextCol, Spreadsheet* sheet)
{
    int r = row;
    int c = *nextCol;
    const auto attributes = x.attributes();
    const QStringView ref = attributes.value(QLatin1String("r"));
    if (!ref.isEmpty()) {
        const CellRef at = parseRef(ref);
        r = at.row;
        c = at.col;
    }
    if (c > kMaxColumn)
        fail();
    *nextCol = c + 1;
    const QString type = attributes.value(QLatin1String("t")).toString();
    const int style = attributes.value(QLatin1String("s")).toInt();
    const Spreadsheet::Cell cell = cellOf(type, style, readCellContent(x));
    if (!cell.text.isEmpty() && ++m_cells > kMaxCells)
        fail(QStringLiteral("文件打开失败：工作表中的数据超过%1个单元格，无法导入。")
                 .arg(kMaxCells));
    sheet->set(r, c, cell);
}

// The text of a cell by its type ("t") and its style's number format ("s").
Spreadsheet::Cell XlsxWorkbook::cellOf(const QString& type, int style,
                                       const CellContent& content) const
{
    const QString& value = content.value;
    Spreadsheet::Cell cell;
    if (type == QLatin1String("inlineStr")) {
        cell.text = content.hasInline ? content.inlineText : value;
    } else if (value.isEmpty()) {
        // No cached value (a formula written without one): an empty cell.
    } else if (type == QLatin1String("s")) {
        bool ok = false;
        const int k = value.toInt(&ok);
        if (!ok || k < 0 || k >= m_strings.size())
            fail();
        cell.text = m_strings.at(k);
    } else if (type == QLatin1String("str") || type == QLatin1String("e")) {
        cell.text = value;
    } else if (type == QLatin1String("b")) {
        cell.text = booleanCellText(value == QLatin1String("1") || value == QLatin1String("true"));
    } else if (type == QLatin1String("d")) {
        cell.text = isoDateText(value);
    } else {
        bool ok = false;
        const double d = QLocale::c().toDouble(value.trimmed(), &ok);
        if (!ok)
            fail();
        const NumberFormat format =
            style >= 0 && style < m_styles.size() ? m_styles.at(style) : NumberFormat::Number;
        cell.text = formattedNumberText(d, format, m_date1904, &cell.lostDigits);
    }
    return cell;
}

void XlsxWorkbook::readSheet(const QString& part, Spreadsheet* sheet)
{
    m_package.stream(part, [&](QuaZipFile& f) {
        QXmlStreamReader x(&f);
        int row = 0;
        int nextCol = 1;
        while (!x.atEnd() && !x.hasError()) {
            x.readNext();
            if (f.pos() > kMaxPartBytes)
                fail(QStringLiteral("文件打开失败：工作表太大，无法导入。"));
            if (!x.isStartElement())
                continue;
            if (x.name() == QLatin1String("row")) {
                bool ok = false;
                const qint64 r = x.attributes().value(QLatin1String("r")).toLongLong(&ok);
                row = ok ? int(std::clamp<qint64>(r, 0, kMaxRow + 1)) : row + 1;
                if (row < 1 || row > kMaxRow)
                    fail(QStringLiteral("文件打开失败：行号超出了表格的范围。"));
                nextCol = 1;
            } else if (x.name() == QLatin1String("c")) {
                readCell(x, std::max(row, 1), &nextCol, sheet);
            }
        }
        if (x.hasError())
            fail();
    });
}

// The workbook part: its date system, its sheets and the active one (the first
// workbookView's tab, the first sheet when it names none). Returns the active sheet's
// relationship id.
QString XlsxWorkbook::readWorkbook(const QString& part)
{
    QStringList sheetIds;
    int activeTab = 0;
    bool viewSeen = false;
    bool propertiesSeen = false;
    QXmlStreamReader x(m_package.read(part));
    while (!x.atEnd() && !x.hasError()) {
        x.readNext();
        if (!x.isStartElement())
            continue;
        const auto a = x.attributes();
        if (x.name() == QLatin1String("workbookPr") && !propertiesSeen) {
            // The first one counts (an alternate-content copy may follow).
            const QStringView v = a.value(QLatin1String("date1904"));
            m_date1904 = v == QLatin1String("1") || v == QLatin1String("true");
            propertiesSeen = true;
        } else if (x.name() == QLatin1String("workbookView") && !viewSeen) {
            activeTab = a.value(QLatin1String("activeTab")).toInt();
            viewSeen = true;
        } else if (x.name() == QLatin1String("sheet")) {
            sheetIds << sheetRelationshipId(a);
        }
    }
    if (x.hasError() || sheetIds.isEmpty())
        fail();
    if (activeTab < 0 || activeTab >= sheetIds.size())
        activeTab = 0;
    return sheetIds.at(activeTab);
}

// The workbook's relationships: shared strings and styles, read as they come, and the
// part of the sheet with the id `sheetId`.
XlsxWorkbook::SheetPart XlsxWorkbook::readWorkbookParts(const QString& workbook,
                                                        const QString& sheetId)
{
    SheetPart sheet;
    for (const Relationship& r : m_package.relationships(workbook)) {
        const QString type = relationshipType(r);
        if (type == QLatin1String("sharedStrings") && m_package.has(r.target))
            readStrings(r.target);
        else if (type == QLatin1String("styles") && m_package.has(r.target))
            readStyles(r.target);
        if (relationshipId(r) == sheetId) {
            sheet.part = r.target;
            sheet.worksheet = type == QLatin1String("worksheet");
        }
    }
    if (sheet.part.isEmpty())
        fail();
    return sheet;
}

Spreadsheet XlsxWorkbook::read()
{
    m_package.open();
    const QString workbook = workbookPart();
    const SheetPart active = readWorkbookParts(workbook, readWorkbook(workbook));
    Spreadsheet sheet;
    // A chart sheet (or a dialog or macro sheet) has no cells to import.
    if (active.worksheet)
        readSheet(active.part, &sheet);
    return sheet;
}

} // namespace

namespace {

template <typename Source> Spreadsheet readWorkbook(Source source)
{
    try {
        XlsxWorkbook book(source);
        return book.read();
    } catch (const std::bad_alloc&) {
        throw DbError(QStringLiteral("文件打开失败：内存不足，无法读入这个表格。"));
    }
}

} // namespace

Spreadsheet readXlsx(const QString& path)
{
    return readWorkbook(path);
}

Spreadsheet readXlsx(QIODevice* archive)
{
    return readWorkbook(archive);
}

} // namespace bankprep
