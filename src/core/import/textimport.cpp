#include "core/import/textimport.h"

#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/schema.h"
#include "core/export/sha256.h"
#include "core/import/textrecords.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <cstring>
#include <future>
#include <optional>

namespace bankprep {

QString encodingCode(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Gbk:
        return QStringLiteral("gbk");
    case TextEncoding::Utf8:
        return QStringLiteral("utf-8");
    case TextEncoding::Auto:
        break;
    }
    return QStringLiteral("auto");
}

std::optional<TextEncoding> encodingFromCode(QStringView code)
{
    for (TextEncoding e : {TextEncoding::Auto, TextEncoding::Gbk, TextEncoding::Utf8}) {
        if (code.compare(encodingCode(e), Qt::CaseInsensitive) == 0)
            return e;
    }
    if (code.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0)
        return TextEncoding::Utf8;
    return std::nullopt;
}

QString encodingText(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Gbk:
        return QStringLiteral("GBK");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Auto:
        break;
    }
    return QStringLiteral("自动识别");
}

namespace TextImport {

QString tabItem()
{
    return QStringLiteral("\t<Tab>");
}

QString separatorFromCombo(const QString& comboText)
{
    return comboText == tabItem() ? QStringLiteral("\t") : comboText;
}

QStringView subStringView(QStringView line, int column, QStringView separator)
{
    QStringView rest = line;
    QStringView result;
    for (int i = 0; i < column; ++i) {
        const qsizetype p = separator.isEmpty() ? -1 : rest.indexOf(separator);
        if (p >= 0) {
            result = rest.left(p);
            rest = rest.sliced(p + separator.size());
        } else if (!rest.isEmpty()) {
            result = rest;
            rest = QStringView();
        } else {
            result = QStringView();
        }
    }
    return trimBlanks(result);
}

QString getSubString(QStringView line, int column, QStringView separator)
{
    return subStringView(line, column, separator).toString();
}

YesNo checkYesNo(const QString& notation)
{
    const qsizetype p = notation.indexOf(QLatin1Char('/'));
    if (p <= 0 || p == notation.size() - 1)
        throw DbError(QStringLiteral("是/否标志格式应是以‘/’为分隔符的两个字符串"));
    return {notation.left(p), notation.mid(p + 1)};
}

int checkNumber(const QString& text, bool blankAllowed, const QString& label)
{
    if (text.isEmpty()) {
        if (!blankAllowed)
            throw DbError(label + QStringLiteral("不能为空值"));
        return 0;
    }
    // Digits, with a sign at most; a blank is no digit (the conversion would skip it).
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            throw DbError(label + QStringLiteral("应填数字"));
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok)
        throw DbError(label + QStringLiteral("应填数字"));
    if (n < 0)
        throw DbError(label + QStringLiteral("不能为负数"));
    return n;
}

namespace {

// Byte spans of the lines: CR LF, LF or CR end a line.
std::vector<std::pair<qsizetype, qsizetype>> lineSpans(QByteArrayView bytes)
{
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    const char* d = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] == '\r' || d[i] == '\n') {
            spans.emplace_back(start, i - start);
            if (d[i] == '\r' && i + 1 < n && d[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        spans.emplace_back(start, n - start);
    return spans;
}

// Whether a line's bytes are well-formed GBK: ASCII, 0x80, or a lead byte 0x81-0xFE
// followed by a trail byte 0x40-0x7E or 0x80-0xFE.
bool validGbk(const unsigned char* p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c <= 0x80)
            continue;
        if (c == 0xFF || i + 1 >= n)
            return false;
        const unsigned char t = p[++i];
        if (t < 0x40 || t == 0x7F || t == 0xFF)
            return false;
    }
    return true;
}

const char* const kByteOrderMark = "\xEF\xBB\xBF";

// The bytes up to the first NUL: the text of a file.
QByteArrayView textPart(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul >= 0 ? bytes.first(nul) : bytes;
}

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF), and whether they hold a character of three bytes or more: every
// Chinese character is one. Text of two-byte characters only is as often GBK (胜 is CA A4
// in GBK, ʤ in UTF-8).
struct Utf8Check
{
    bool valid = true;
    bool wide = false;
};
Utf8Check checkUtf8(QByteArrayView bytes)
{
    Utf8Check r;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= n) {
            quint64 w;
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            r.valid = false;
            return r;
        }
        if (i + length > n || p[i + 1] < low || p[i + 1] > high) {
            r.valid = false;
            return r;
        }
        for (int k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) {
                r.valid = false;
                return r;
            }
        }
        r.wide = r.wide || length >= 3;
        i += length;
    }
    return r;
}

} // namespace

QStringList Lines::toList() const
{
    QStringList out;
    for (qsizetype i = 0; i < count(); ++i)
        out << line(i).toString();
    return out;
}

LineSource::LineSource(QByteArray bytes, TextEncoding encoding) : m_bytes(std::move(bytes))
{
    // The text ends at the first NUL byte; a UTF-8 byte-order mark is no part of it. The
    // bytes stay shared with the caller's copy of the file: nothing is copied.
    QByteArrayView text = textPart(m_bytes);
    if (encoding == TextEncoding::Auto)
        encoding = detectEncoding(text);
    m_utf8 = encoding == TextEncoding::Utf8;
    const qsizetype begin = m_utf8 && text.startsWith(kByteOrderMark) ? 3 : 0;
    m_spans = lineSpans(text.sliced(begin));
    for (auto& span : m_spans)
        span.first += begin;
}

bool LineSource::decode(qsizetype index, QString& out) const
{
    // Line breaks are single bytes that are part of no character in either encoding:
    // every line decodes on its own.
    out.clear();
    const char* p = m_bytes.constData() + m_spans[size_t(index)].first;
    const qsizetype n = m_spans[size_t(index)].second;
    if (m_utf8) {
        QStringDecoder dec(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        out = dec.decode(QByteArrayView(p, n));
        return !dec.hasError();
    }
    return validGbk(reinterpret_cast<const unsigned char*>(p), n) &&
           GbkEncoder::instance().decode(p, n, out);
}

void LineSource::check(int firstLine) const
{
    QString line;
    for (qsizetype i = std::max(firstLine - 1, 0); i < count(); ++i) {
        if (!decode(i, line))
            throw ImportLineError(int(i) + 1, QStringLiteral("行含有无法识别的字符，导入中止！"));
    }
}

Lines decodeLines(QByteArray bytes, int firstLine)
{
    const LineSource source(std::move(bytes));
    Lines out;
    out.spans.reserve(size_t(source.count()));
    QString line;
    for (qsizetype i = 0; i < source.count(); ++i) {
        const qsizetype start = out.text.size();
        if (source.decode(i, line))
            out.text += line;
        else if (i + 1 >= firstLine)
            throw ImportLineError(int(i) + 1, QStringLiteral("行含有无法识别的字符，导入中止！"));
        // else: a skipped heading that does not decode is an empty line
        out.spans.emplace_back(start, out.text.size() - start);
    }
    return out;
}

} // namespace TextImport

TextEncoding detectEncoding(QByteArrayView bytes)
{
    const QByteArrayView text = TextImport::textPart(bytes);
    if (text.startsWith(TextImport::kByteOrderMark))
        return TextEncoding::Utf8;
    const TextImport::Utf8Check utf8 = TextImport::checkUtf8(text);
    return utf8.valid && utf8.wide ? TextEncoding::Utf8 : TextEncoding::Gbk;
}

// ---------------------------------------------------------------------------
// The two imports

namespace {

using F = ImportField;
using K = FieldKind;

ImportLayout paymentLayout()
{
    ImportLayout l;
    l.kind = ImportKind::Payments;
    l.table = tbl::Payment;
    // field, column, kind, label, column number required, required on every line as,
    // default column
    l.fields = {
        {F::OwnBank, col::OwnBank, K::YesNo, QStringLiteral("是否溯枫银行"), true, {}, 2},
        {F::PayeeAccount, col::PayeeAccount, K::Text, QStringLiteral("收款账号"), true,
         QStringLiteral("收款账号"), 3},
        {F::PayeeName, col::PayeeName, K::Text, QStringLiteral("收款单位"), true, {}, 4},
        {F::PayeeBank, col::PayeeBank, K::Text, QStringLiteral("收款银行"), false, {}, 5},
        {F::PayeePlace, col::PayeePlace, K::Text, QStringLiteral("汇入地点"), false, {}, 6},
        {F::Amount, col::Amount, K::Amount, QStringLiteral("金额"), false, QStringLiteral("金额"),
         7},
        {F::Urgent, col::Urgent, K::YesNo, QStringLiteral("大额实时"), false, {}, 10},
        {F::Purpose, col::Purpose, K::Text, QStringLiteral("用途"), true, {}, 8},
        {F::Remark, col::Remark, K::Text, QStringLiteral("备注"), false, {}, 9},
    };
    l.checkOrder = {F::PayeeAccount, F::OwnBank, F::PayeeName, F::PayeeBank, F::PayeePlace,
                    F::Amount,       F::Urgent,  F::Purpose,   F::Remark,    F::StartLine};
    l.startBlankAllowed = true;
    l.lowestStart = 2;
    l.lowStartMessage = QStringLiteral("起始导入行号应大于1");
    l.insertSql = QStringLiteral(
        "insert into Payment (用户编号,溯枫帐号,收款帐号,收款银行,收款单位,汇入地点,金额,用途,备注,"
        "大额实时) values(:bh,:sfb,:skzh,:skyh,:skdw,:hrdd,:je,:yt,:bz,:dess)");
    l.owner = QStringLiteral("1");
    l.blankText = QStringLiteral(" ");
    l.unit = QStringLiteral("支付指令");
    l.doneMessage = QStringLiteral("已成功导入%1个记录");
    l.doneStatus = QStringLiteral("导入完成...");
    return l;
}

ImportLayout payeeLayout()
{
    ImportLayout l;
    l.kind = ImportKind::Payees;
    l.table = tbl::Company;
    // No default columns: every edit starts empty.
    l.fields = {
        {F::PayeeAccount, col::PayeeAccount, K::Text, QStringLiteral("收款账号"), true,
         QStringLiteral("账号")},
        {F::PayeeName, col::PayeeName, K::Text, QStringLiteral("收款单位"), true,
         QStringLiteral("收款单位")},
        {F::PayeeBank, col::PayeeBank, K::Text, QStringLiteral("收款银行"), true,
         QStringLiteral("收款银行")},
        {F::PayeePlace, col::PayeePlace, K::Text, QStringLiteral("汇入地点"), false},
        {F::Remark, col::Remark, K::Text, QStringLiteral("备注"), false},
        {F::Classification, col::Classification, K::Classification, QStringLiteral("账号分类"),
         false},
        {F::OwnBank, col::OwnBank, K::YesNo, QStringLiteral("是否溯枫账号"), false},
        {F::CustomNo, col::CustomNo, K::Text, QStringLiteral("自定编号"), false},
    };
    l.checkOrder = {F::PayeeAccount, F::PayeeName,      F::PayeeBank, F::PayeePlace, F::Remark,
                    F::OwnBank,      F::Classification, F::StartLine, F::CustomNo};
    l.startBlankAllowed = false;
    l.lowestStart = 1;
    l.lowStartMessage = QStringLiteral("起始导入行号应大于0");
    l.insertSql = QStringLiteral(
        "insert into Company (收款帐号,收款单位,收款银行,汇入地点,备注,账号分类,溯枫帐号,自定编号) "
        "values(:account,:unit,:bank,:place,:memo,:companytype,:ifsf,:no)");
    l.unit = QStringLiteral("往来账号");
    l.doneMessage = QStringLiteral("已成功导入%1个往来账号");
    return l;
}

} // namespace

const ImportLayout& paymentImport()
{
    static const ImportLayout layout = paymentLayout();
    return layout;
}

const ImportLayout& payeeImport()
{
    static const ImportLayout layout = payeeLayout();
    return layout;
}

const ImportFieldDef& ImportLayout::field(ImportField f) const
{
    for (const ImportFieldDef& d : fields) {
        if (d.field == f)
            return d;
    }
    throw DbError(QStringLiteral("导入设置中没有这一列。"));
}

QMap<ImportField, QString> ImportLayout::defaultTexts() const
{
    QMap<ImportField, QString> texts;
    for (const ImportFieldDef& d : fields)
        texts.insert(d.field, d.defaultColumn > 0 ? QString::number(d.defaultColumn) : QString());
    return texts;
}

namespace {

// Runs one check of the settings; its refusal points at `field`.
template <typename Check> auto checking(ImportField field, Check check)
{
    try {
        return check();
    } catch (const DbError& e) {
        throw ImportFormError(e.message(), field);
    }
}

} // namespace

ImportForm defaultImportForm(const ImportLayout& layout)
{
    ImportForm form;
    form.separatorText = QStringLiteral("|");
    form.startText =
        layout.kind == ImportKind::Payments ? QStringLiteral("2") : QStringLiteral("1");
    form.columnTexts = layout.defaultTexts();
    form.yesNoText = QStringLiteral("是/否");
    return form;
}

ImportSettings checkImportForm(const ImportForm& form, const ImportLayout& layout)
{
    ImportSettings s;
    s.separator = TextImport::separatorFromCombo(form.separatorText);
    if (s.separator.isEmpty())
        throw ImportFormError(QStringLiteral("请输入一个分隔符"), F::Separator);
    if (form.file.isEmpty() || !QFileInfo(form.file).isFile())
        throw ImportFormError(QStringLiteral("该文件不存在！"), F::File);
    for (ImportField f : layout.checkOrder) {
        if (f == F::StartLine) {
            s.startLine = checking(f, [&] {
                return TextImport::checkNumber(form.startText, layout.startBlankAllowed,
                                               QStringLiteral("起始导入行号"));
            });
            continue;
        }
        const ImportFieldDef& d = layout.field(f);
        s.columns.insert(f, checking(f, [&] {
                             return TextImport::checkNumber(form.columnTexts.value(f),
                                                            !d.numberRequired, d.label);
                         }));
    }
    if (s.startLine < layout.lowestStart)
        throw ImportFormError(layout.lowStartMessage, F::StartLine);
    const TextImport::YesNo yesNo =
        checking(F::YesNo, [&] { return TextImport::checkYesNo(form.yesNoText); });
    s.yesText = yesNo.yes;
    s.noText = yesNo.no;
    s.encoding = form.encoding;
    return s;
}

// ---------------------------------------------------------------------------
// A run

namespace {

using TextRecords::Record;
using TextRecords::RecordReader;

// The observer's calls, for a run without one too.
struct Progress
{
    ImportObserver* observer;
    void status(const QString& s) const
    {
        if (observer)
            observer->status(s);
    }
    void range(int maximum) const
    {
        if (observer)
            observer->progressRange(maximum);
    }
    void at(int value) const
    {
        if (observer)
            observer->progress(value);
    }
    void events() const
    {
        if (observer)
            observer->processEvents();
    }
};

// Checks that every line of the file decodes (the bar at 30, then at 100). A file
// refused has its bar at the end and the window in the analysis, as one that was read.
TextImport::LineSource readLines(const QByteArray& bytes, int startLine, TextEncoding encoding,
                                 const Progress& p)
{
    p.status(QStringLiteral("读取文件..."));
    p.range(100);
    p.at(30);
    auto analysing = [&] {
        p.at(100);
        p.status(QStringLiteral("分析数据..."));
    };
    try {
        TextImport::LineSource lines(bytes, encoding);
        lines.check(startLine);
        analysing();
        return lines;
    } catch (const ImportLineError&) {
        analysing();
        throw;
    }
}

// The analysis pass: every line from the start line on must make a record, or the run
// ends at the first line refused, before anything is written. Returns how many.
size_t analyse(RecordReader& records, const Progress& p)
{
    const size_t count = records.count();
    p.range(int(count));
    p.at(0);
    for (size_t k = 0; k < count; ++k) {
        p.at(int(k) + 1);
        p.events();
        records.read(k);
    }
    return count;
}

struct CompanyTypes
{
    QStringList ids;
    QStringList names;

    void load(Connection& conn)
    {
        ids.clear();
        names.clear();
        Statement q(conn, QStringLiteral("select * from CompanyType"));
        q.exec();
        while (q.next()) {
            ids << q.value(0).toString();
            names << q.value(1).toString();
        }
    }
};

// The classification id for a name, the classification created when missing.
QString companyTypeId(TDataModule2& dm, CompanyTypes& types, const QString& name)
{
    if (name.trimmed().isEmpty())
        return QString();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const qsizetype k = types.names.indexOf(name);
        if (k >= 0)
            return types.ids.at(k);
        if (attempt == 1)
            break;
        Statement create(dm.ADOConn,
                         QStringLiteral("insert into CompanyType (type) values(:type)"));
        create.bind(0, name);
        create.exec();
        if (dm.ATCompanyType->isOpen())
            dm.ATCompanyType->requery();
        types.load(dm.ADOConn);
    }
    throw DbError(QStringLiteral("账号分类“%1”创建后仍未找到，导入中断。").arg(name));
}

// The columns an INSERT names, in the order of its parameters.
QStringList insertColumns(const QString& sql)
{
    const qsizetype open = sql.indexOf(QLatin1Char('('));
    const qsizetype close = sql.indexOf(QLatin1Char(')'), open);
    QStringList columns = sql.mid(open + 1, close - open - 1).split(QLatin1Char(','));
    for (QString& c : columns)
        c = c.trimmed();
    return columns;
}

// Sets the INSERT's parameters from one record.
class RecordBinder
{
public:
    RecordBinder(TDataModule2& dm, const ImportLayout& layout) : m_dm(dm), m_layout(layout)
    {
        const QStringList columns = insertColumns(layout.insertSql);
        for (const ImportFieldDef& d : layout.fields) {
            m_parameters.push_back(int(columns.indexOf(d.column)));
            Q_ASSERT(m_parameters.back() >= 0);
        }
        if (!layout.owner.isEmpty()) {
            m_ownerParameter = int(columns.indexOf(col::UserId));
            Q_ASSERT(m_ownerParameter >= 0);
        }
    }
    void operator()(BulkStatement& st, const Record& record)
    {
        if (m_ownerParameter >= 0)
            st.bindText(m_ownerParameter, m_layout.owner);
        for (size_t i = 0; i < m_parameters.size(); ++i) {
            const int p = m_parameters[i];
            switch (m_layout.fields[qsizetype(i)].kind) {
            case K::Amount:
                st.bindInt64(p, record.amount.units()); // exact, in ten-thousandths
                break;
            case K::Classification:
                st.bindText(p, classification(record.texts[i]));
                break;
            case K::Text:
            case K::YesNo:
                st.bindText(p, record.texts[i]);
                break;
            }
        }
    }

private:
    QString classification(QStringView name)
    {
        if (!m_types) {
            m_types.emplace();
            m_types->load(m_dm.ADOConn);
        }
        return companyTypeId(m_dm, *m_types, name.toString());
    }

    TDataModule2& m_dm;
    const ImportLayout& m_layout;
    std::vector<int> m_parameters; // per field
    int m_ownerParameter = -1;
    std::optional<CompanyTypes> m_types; // read at the first classification
};

// Commits what the import pass stored. A commit that fails is rolled back: nothing of
// the run stays, and the report says so.
void commitRun(Transaction& transaction)
{
    try {
        transaction.commit();
    } catch (const DbError& e) {
        throw DbError(e.message() + QStringLiteral("（本次没有导入任何记录）"));
    }
}

// Runs the INSERTs of the import pass in one transaction. Rows stored before a
// failing record stay: the transaction is committed at the end and at an interruption.
ImportReport runInserts(TDataModule2& dm, const ImportLayout& layout, RecordReader& records,
                        size_t count, const Progress& p, std::unique_ptr<PendingBackup>& backup,
                        const std::function<ImportSource()>& source)
{
    ImportReport report;
    RecordBinder bind(dm, layout);
    Transaction transaction(dm.ADOConn);
    RowKeys keys;
    RowFingerprints prints(layout.kind, insertColumns(layout.insertSql));
    // What was stored is one batch, recorded in the same transaction as its rows.
    const auto record = [&] {
        if (keys.count() > 0)
            recordImportBatch(dm.ADOConn, layout.kind, source(), keys, dm.CurrentUser, &prints);
    };
    try {
        BulkStatement st(dm.ADOConn, layout.insertSql);
        for (size_t k = 0; k < count && !report.interrupted; ++k) {
            p.at(int(k) + 1);
            bind(st, records.read(k));
            try {
                st.exec();
                keys.add(st.lastInsertKey());
                prints.add(st);
                ++report.count;
            } catch (const DbError&) {
                report.interrupted = true;
                report.messages
                    << QStringLiteral("在导入第%1行数据时出错，导入中断！").arg(k + 1)
                    << QStringLiteral("在导入%1个%2后中断").arg(report.count).arg(layout.unit);
            }
        }
    } catch (const DbError&) {
        // Not an INSERT of a record (a classification that cannot be created): the
        // system's report, earlier rows kept.
        record();
        dm.finishBackup(backup);
        commitRun(transaction);
        throw;
    }
    record();
    // Nothing is committed before the backup of the state before the import is complete.
    dm.finishBackup(backup);
    commitRun(transaction);
    return report;
}

} // namespace

ImportReport importText(TDataModule2& dm, const ImportLayout& layout, const QByteArray& fileBytes,
                        const ImportSettings& s, ImportObserver* observer,
                        const ImportSource& source)
{
    return CheckedImport(layout, fileBytes, s, observer).store(dm, source, observer);
}

CheckedImport::CheckedImport(const ImportLayout& layout, const QByteArray& fileBytes,
                             const ImportSettings& s, ImportObserver* observer)
    : m_layout(layout), m_settings(s),
      m_lines(readLines(fileBytes, s.startLine, s.encoding, Progress{observer}))
{
    RecordReader records(m_layout, m_lines, m_settings);
    m_count = analyse(records, Progress{observer});
}

ImportReport CheckedImport::store(TDataModule2& dm, const ImportSource& source,
                                  ImportObserver* observer) const
{
    // The file's hash is computed while the rows are inserted.
    std::future<QByteArray> hash;
    if (source.sha256.isEmpty())
        hash =
            std::async(std::launch::async, [bytes = m_lines.bytes()] { return sha256Hex(bytes); });
    const auto batchSource = [&] {
        return ImportSource{source.file, hash.valid() ? hash.get() : source.sha256};
    };
    std::unique_ptr<PendingBackup> backup =
        dm.startBackupBefore(m_layout.kind == ImportKind::Payments ? BackupReason::ImportPayments
                                                                   : BackupReason::ImportPayees);
    const Progress p{observer};
    RecordReader records(m_layout, m_lines, m_settings);
    p.status(QStringLiteral("导入数据库..."));
    p.range(int(m_count));
    p.at(0);
    ImportReport report = runInserts(dm, m_layout, records, m_count, p, backup, batchSource);
    if (!report.interrupted) {
        report.messages << m_layout.doneMessage.arg(report.count);
        p.status(m_layout.doneStatus);
    }
    return report;
}

} // namespace bankprep
