#include "core/import/textimport.h"

#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/schema.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <optional>

namespace bankprep {

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

} // namespace

QStringList Lines::toList() const
{
    QStringList out;
    for (qsizetype i = 0; i < count(); ++i)
        out << line(i).toString();
    return out;
}

LineSource::LineSource(QByteArray bytes) : m_bytes(std::move(bytes))
{
    // The text ends at the first NUL byte; a UTF-8 byte-order mark is no part of it. The
    // bytes stay shared with the caller's copy of the file: nothing is copied.
    QByteArrayView text(m_bytes);
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    m_utf8 = text.startsWith("\xEF\xBB\xBF");
    const qsizetype begin = m_utf8 ? 3 : 0;
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

// ---------------------------------------------------------------------------
// The two imports

namespace {

using F = ImportField;
using K = FieldKind;

ImportLayout paymentLayout()
{
    ImportLayout l;
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
    return s;
}

// ---------------------------------------------------------------------------
// A run

namespace {

// A line split once at every separator, the fields then read by column number: the same
// fields as scanning the line again from its start for each column.
class SplitLine
{
public:
    void split(QStringView line, QStringView separator)
    {
        m_parts.clear();
        if (separator.isEmpty()) {
            m_parts.push_back(line);
            return;
        }
        for (;;) {
            const qsizetype p = line.indexOf(separator);
            if (p < 0)
                break;
            m_parts.push_back(line.left(p));
            line = line.sliced(p + separator.size());
        }
        if (!line.isEmpty())
            m_parts.push_back(line);
    }
    QStringView field(int column) const
    {
        if (column < 1 || size_t(column) > m_parts.size())
            return {};
        return trimBlanks(m_parts[size_t(column) - 1]);
    }

private:
    std::vector<QStringView> m_parts;
};

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

// One analysed line: one text per field (views into the line or into the layout's
// constant texts) and its exact amount (zero where the import has none).
struct Record
{
    std::vector<QStringView> texts;
    Money amount;
};

// How the analysis pass reads one field: its column in the file and the most characters
// its text may have. That is its column's width; a classification name is held by the
// classification table (the payee row keeps only its id); flags and amounts are not
// stored as read (0: no limit).
struct FieldPlan
{
    const ImportFieldDef* def;
    int column;
    int width;
};

std::vector<FieldPlan> planFor(const ImportLayout& layout, const ImportSettings& s)
{
    const TableDef* table = findTableDef(layout.table);
    const int nameWidth = findTableDef(tbl::CompanyType)->column(col::TypeName)->width;
    std::vector<FieldPlan> plan;
    for (const ImportFieldDef& d : layout.fields) {
        const int width = d.kind == K::Text             ? table->column(d.column)->width
                          : d.kind == K::Classification ? nameWidth
                                                        : 0;
        plan.push_back({&d, s.column(d.field), width});
    }
    return plan;
}

// Checks that every line of the file decodes (the bar at 30, then at 100). A file
// refused has its bar at the end and the window in the analysis, as one that was read.
TextImport::LineSource readLines(const QByteArray& bytes, int startLine, const Progress& p)
{
    p.status(QStringLiteral("读取文件..."));
    p.range(100);
    p.at(30);
    auto analysing = [&] {
        p.at(100);
        p.status(QStringLiteral("分析数据..."));
    };
    try {
        TextImport::LineSource lines(bytes);
        lines.check(startLine);
        analysing();
        return lines;
    } catch (const ImportLineError&) {
        analysing();
        throw;
    }
}

// One line into a record: first every value in the order of the fields (an empty
// required one or an amount that is no number refuses the line), then every text
// against its width: everything that can be known before the first INSERT.
void analyseLine(const SplitLine& split, int line, const std::vector<FieldPlan>& plan,
                 const ImportLayout& layout, QStringView yesText, Record& out)
{
    out.texts.clear();
    out.amount = Money();
    for (const FieldPlan& f : plan) {
        const ImportFieldDef& d = *f.def;
        QStringView v = split.field(f.column);
        if (v.isEmpty() && !d.requiredAs.isEmpty())
            throw ImportLineError(line, QStringLiteral("行") + d.requiredAs +
                                            QStringLiteral("为空，导入中止！"));
        switch (d.kind) {
        case K::Text:
            if (v.isEmpty() && !layout.blankText.isEmpty())
                v = layout.blankText;
            break;
        case K::Amount: {
            // As the platform's number conversion reads it (an exponent too), exactly;
            // more than four decimals rounded as the currency conversion rounds them.
            const auto money = Money::parseNumber(v);
            if (!money)
                throw ImportLineError(line, QStringLiteral("行") + d.label +
                                                QStringLiteral("格式错误，导入中止！"));
            out.amount = *money;
            break;
        }
        case K::YesNo:
            v = v == yesText ? QStringView(YesText) : QStringView(NoText);
            break;
        case K::Classification:
            break;
        }
        out.texts.push_back(v);
    }
    for (size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].width > 0 && characterCount(out.texts[i]) > plan[i].width)
            throw ImportLineError(line, QStringLiteral("行") + plan[i].def->label +
                                            QStringLiteral("超出长度，导入中止！"));
    }
}

// The lines from the start line on, each analysed into a record when it is reached. The
// analysis pass reads them all before anything is written; the import pass reads them
// again, one at a time, so that no more than one line is held as text.
class RecordReader
{
public:
    RecordReader(const ImportLayout& layout, const TextImport::LineSource& lines,
                 const ImportSettings& s)
        : m_layout(layout), m_lines(lines), m_settings(s), m_plan(planFor(layout, s)),
          m_first(std::max<qsizetype>(s.startLine - 1, 0))
    {
    }
    size_t count() const { return size_t(std::max<qsizetype>(m_lines.count() - m_first, 0)); }
    // Record `k` (0-based from the start line); refused as its line is.
    const Record& read(size_t k)
    {
        const qsizetype i = m_first + qsizetype(k);
        if (!m_lines.decode(i, m_line)) // checked before: only a changed rule gets here
            throw ImportLineError(int(i) + 1, QStringLiteral("行含有无法识别的字符，导入中止！"));
        m_split.split(m_line, m_settings.separator);
        analyseLine(m_split, int(i) + 1, m_plan, m_layout, m_settings.yesText, m_record);
        return m_record;
    }

private:
    const ImportLayout& m_layout;
    const TextImport::LineSource& m_lines;
    const ImportSettings& m_settings;
    std::vector<FieldPlan> m_plan;
    qsizetype m_first;
    QString m_line;
    SplitLine m_split;
    Record m_record;
};

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
                        size_t count, const Progress& p, std::unique_ptr<PendingBackup>& backup)
{
    ImportReport report;
    RecordBinder bind(dm, layout);
    Transaction transaction(dm.ADOConn);
    try {
        BulkStatement st(dm.ADOConn, layout.insertSql);
        for (size_t k = 0; k < count && !report.interrupted; ++k) {
            p.at(int(k) + 1);
            bind(st, records.read(k));
            try {
                st.exec();
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
        dm.finishBackup(backup);
        commitRun(transaction);
        throw;
    }
    // Nothing is committed before the backup of the state before the import is complete.
    dm.finishBackup(backup);
    commitRun(transaction);
    return report;
}

} // namespace

ImportReport importText(TDataModule2& dm, const ImportLayout& layout, const QByteArray& fileBytes,
                        const ImportSettings& s, ImportObserver* observer)
{
    return CheckedImport(layout, fileBytes, s, observer).store(dm, observer);
}

CheckedImport::CheckedImport(const ImportLayout& layout, const QByteArray& fileBytes,
                             const ImportSettings& s, ImportObserver* observer)
    : m_layout(layout), m_settings(s),
      m_lines(readLines(fileBytes, s.startLine, Progress{observer}))
{
    RecordReader records(m_layout, m_lines, m_settings);
    m_count = analyse(records, Progress{observer});
}

ImportReport CheckedImport::store(TDataModule2& dm, ImportObserver* observer) const
{
    std::unique_ptr<PendingBackup> backup = dm.startBackupBefore(
        &m_layout == &paymentImport() ? BackupReason::ImportPayments : BackupReason::ImportPayees);
    const Progress p{observer};
    RecordReader records(m_layout, m_lines, m_settings);
    p.status(QStringLiteral("导入数据库..."));
    p.range(int(m_count));
    p.at(0);
    ImportReport report = runInserts(dm, m_layout, records, m_count, p, backup);
    if (!report.interrupted) {
        report.messages << m_layout.doneMessage.arg(report.count);
        p.status(m_layout.doneStatus);
    }
    return report;
}

} // namespace bankprep
