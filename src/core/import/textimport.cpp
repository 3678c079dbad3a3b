#include "core/import/textimport.h"
#include "core/data/names.h"

#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/money.h"
#include "core/data/schema.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <array>
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

QStringView trimControls(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.sliced(b, e - b);
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
    return trimControls(result);
}

QString getSubString(QStringView line, int column, QStringView separator)
{
    return subStringView(line, column, separator).toString();
}

bool checkYesNo(const QString& notation, QString* yes, QString* no)
{
    const qsizetype p = notation.indexOf(QLatin1Char('/'));
    if (p <= 0 || p == notation.size() - 1)
        return false;
    *yes = notation.left(p);
    *no = notation.mid(p + 1);
    return true;
}

NumberProblem isNumeric(const QString& text, bool blankAllowed, int* value)
{
    *value = 0;
    if (text.isEmpty())
        return blankAllowed ? NumberProblem::None : NumberProblem::Blank;
    // Digits, with a sign at most; a blank is no digit (the conversion would skip it).
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return NumberProblem::NotNumber;
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok)
        return NumberProblem::NotNumber;
    if (n < 0)
        return NumberProblem::Negative;
    *value = n;
    return NumberProblem::None;
}

QString numberMessage(NumberProblem problem, const QString& label)
{
    switch (problem) {
    case NumberProblem::Blank:
        return label + QStringLiteral("不能为空值");
    case NumberProblem::NotNumber:
        return label + QStringLiteral("应填数字");
    case NumberProblem::Negative:
        return label + QStringLiteral("不能为负数");
    case NumberProblem::None:
        break;
    }
    return QString();
}

namespace {

// Byte spans of the lines: CR LF, LF or CR end a line.
std::vector<std::pair<qsizetype, qsizetype>> lineSpans(const QByteArray& bytes)
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

Lines decodeLines(QByteArray bytes, int firstLine)
{
    Lines out;
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const bool utf8 = bytes.startsWith("\xEF\xBB\xBF");
    if (utf8)
        bytes.remove(0, 3);
    const auto byteSpans = lineSpans(bytes);
    // Line breaks are single bytes that are part of no character in either encoding:
    // every line decodes on its own into one text.
    out.spans.reserve(byteSpans.size());
    const GbkEncoder& gbk = GbkEncoder::instance();
    out.text.reserve(bytes.size());
    for (size_t i = 0; i < byteSpans.size(); ++i) {
        const char* p = bytes.constData() + byteSpans[i].first;
        const qsizetype n = byteSpans[i].second;
        const qsizetype start = out.text.size();
        bool ok = true;
        if (utf8) {
            QStringDecoder dec(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
            out.text += dec.decode(QByteArrayView(p, n));
            ok = !dec.hasError();
        } else {
            ok = validGbk(reinterpret_cast<const unsigned char*>(p), n) &&
                 gbk.decode(p, n, out.text);
        }
        if (!ok && qsizetype(i) + 1 < firstLine) {
            out.text.truncate(start); // a skipped heading: an empty line
            ok = true;
        }
        if (!ok) {
            out.badLine = int(i) + 1;
            out.text.clear();
            out.spans.clear();
            return out;
        }
        out.spans.emplace_back(start, out.text.size() - start);
    }
    return out;
}

} // namespace TextImport

int ImportSettings::column(ImportField field) const
{
    for (const ImportColumn& c : columns) {
        if (c.field == field)
            return c.number;
    }
    return 0;
}

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
        return TextImport::trimControls(m_parts[size_t(column) - 1]);
    }

private:
    std::vector<QStringView> m_parts;
};

const QString kSpace = QStringLiteral(" ");

QString lineMessage(int line, const QString& text)
{
    return QStringLiteral("第") + QString::number(line) + text;
}

QString tooLong(int line, const QString& label)
{
    return lineMessage(line, QStringLiteral("行") + label + QStringLiteral("超出长度，导入中止！"));
}

// One record: the texts at the window's positions (views into the read lines or into
// the constant texts above) and the exact amount where there is one.
template <size_t N> struct Record
{
    std::array<QStringView, N> texts;
    Money amount;
};

// Reads the lines and reports the phases; the lines are the analysis pass's input.
struct Reader
{
    ImportObserver* observer;
    void status(const QString& s) const
    {
        if (observer)
            observer->status(s);
    }
    void events() const
    {
        if (observer)
            observer->processEvents();
    }
};

// Runs the INSERTs of the import pass in one transaction. Rows stored before a
// failing record stay: the transaction is committed at the end and at an interruption.
template <typename Bind>
ImportOutcome runInserts(TDataModule2& dm, const QString& sql, size_t records, const QString& unit,
                         ImportObserver* observer, Bind bind)
{
    ImportOutcome out;
    Connection& conn = dm.ADOConn;
    try {
        conn.beginTransaction();
    } catch (const DbError& e) {
        out.kind = ImportOutcome::Failed;
        out.messages << e.message();
        return out;
    }
    auto finish = [&](ImportOutcome::Kind kind) {
        try {
            conn.commit();
        } catch (const DbError& e) {
            conn.rollback();
            out.kind = ImportOutcome::Failed;
            out.messages = QStringList{e.message() + QStringLiteral("（本次没有导入任何记录）")};
            out.count = 0;
            return;
        }
        out.kind = kind;
    };
    try {
        BulkStatement st(conn, sql);
        for (size_t k = 0; k < records; ++k) {
            if (observer) {
                observer->progress(int(k) + 1);
            }
            bind(st, k);
            try {
                st.exec();
            } catch (const DbError&) {
                out.messages << QStringLiteral("在导入第%1行数据时出错，导入中断！").arg(k + 1)
                             << QStringLiteral("在导入%1个%2后中断").arg(out.count).arg(unit);
                finish(ImportOutcome::Interrupted);
                return out;
            }
            ++out.count;
        }
    } catch (const DbError& e) {
        // Not an INSERT of a record (a classification that cannot be created): the
        // system's report, earlier rows kept.
        out.messages << e.message();
        finish(ImportOutcome::Failed);
        out.kind = ImportOutcome::Failed;
        return out;
    }
    finish(ImportOutcome::Success);
    return out;
}

bool decode(const QByteArray& bytes, int firstLine, TextImport::Lines* lines, ImportOutcome* out)
{
    *lines = TextImport::decodeLines(bytes, firstLine);
    if (lines->badLine > 0) {
        out->kind = ImportOutcome::AnalysisFailed;
        out->messages << lineMessage(lines->badLine,
                                     QStringLiteral("行含有无法识别的字符，导入中止！"));
        return false;
    }
    return true;
}

} // namespace

ImportCheck checkImportForm(const ImportForm& form, const ImportRules& rules)
{
    ImportCheck c;
    auto fail = [&](const QString& message, ImportField focus) {
        c.ok = false;
        c.message = message;
        c.focus = focus;
        return c;
    };
    ImportSettings& s = c.settings;
    s.separator = TextImport::separatorFromCombo(form.separatorText);
    if (s.separator.isEmpty())
        return fail(QStringLiteral("请输入一个分隔符"), ImportField::Separator);
    if (form.file.isEmpty() || !QFileInfo(form.file).isFile())
        return fail(QStringLiteral("该文件不存在！"), ImportField::File);
    for (qsizetype i = 0; i <= rules.checkOrder.size(); ++i) {
        if (i == rules.startCheckIndex) {
            const auto problem =
                TextImport::isNumeric(form.startText, rules.startBlankAllowed, &s.startLine);
            if (problem != TextImport::NumberProblem::None)
                return fail(TextImport::numberMessage(problem, QStringLiteral("起始导入行号")),
                            ImportField::StartLine);
        }
        if (i == rules.checkOrder.size())
            break;
        ImportColumn col = rules.checkOrder.at(i);
        const auto problem =
            TextImport::isNumeric(form.columnTexts.value(col.field), col.blankAllowed, &col.number);
        if (problem != TextImport::NumberProblem::None)
            return fail(TextImport::numberMessage(problem, col.messageLabel), col.field);
        s.columns << col;
    }
    if (s.startLine < rules.lowestStart)
        return fail(rules.lowStartMessage, ImportField::StartLine);
    if (!TextImport::checkYesNo(form.yesNoText, &s.yesText, &s.noText))
        return fail(QStringLiteral("是/否标志格式应是以‘/’为分隔符的两个字符串"),
                    ImportField::YesNo);
    c.ok = true;
    return c;
}

namespace {

QList<ImportColumn> inOrder(const QList<ImportColumn>& cols, const QList<ImportField>& fields)
{
    QList<ImportColumn> out;
    for (ImportField f : fields) {
        for (const ImportColumn& c : cols) {
            if (c.field == f)
                out << c;
        }
    }
    return out;
}

} // namespace

ImportRules paymentImportRules()
{
    ImportRules r;
    r.checkOrder = inOrder(paymentImportColumns(),
                           {ImportField::PayeeAccount, ImportField::OwnBank, ImportField::PayeeName,
                            ImportField::PayeeBank, ImportField::PayeePlace, ImportField::Amount,
                            ImportField::Urgent, ImportField::Purpose, ImportField::Remark});
    r.startCheckIndex = int(r.checkOrder.size());
    r.startBlankAllowed = true;
    r.lowestStart = 2;
    r.lowStartMessage = QStringLiteral("起始导入行号应大于1");
    return r;
}

ImportRules payeeImportRules()
{
    ImportRules r;
    r.checkOrder =
        inOrder(payeeImportColumns(),
                {ImportField::PayeeAccount, ImportField::PayeeName, ImportField::PayeeBank,
                 ImportField::PayeePlace, ImportField::Remark, ImportField::OwnBank,
                 ImportField::Classification, ImportField::CustomNo});
    r.startCheckIndex = 7; // after the classification column, before the own number
    r.startBlankAllowed = false;
    r.lowestStart = 1;
    r.lowStartMessage = QStringLiteral("起始导入行号应大于0");
    return r;
}

// ---------------------------------------------------------------------------
// Payment instructions

QList<ImportColumn> paymentImportColumns()
{
    return {
        {ImportField::OwnBank, QStringLiteral("是否溯枫银行"), false, 2},
        {ImportField::PayeeAccount, QStringLiteral("收款账号"), false, 3},
        {ImportField::PayeeName, QStringLiteral("收款单位"), false, 4},
        {ImportField::PayeeBank, QStringLiteral("收款银行"), true, 5},
        {ImportField::PayeePlace, QStringLiteral("汇入地点"), true, 6},
        {ImportField::Amount, QStringLiteral("金额"), true, 7},
        {ImportField::Urgent, QStringLiteral("大额实时"), true, 10},
        {ImportField::Purpose, QStringLiteral("用途"), false, 8},
        {ImportField::Remark, QStringLiteral("备注"), true, 9},
    };
}

ImportOutcome importPayments(TDataModule2& dm, const QByteArray& fileBytes, const ImportSettings& s,
                             ImportObserver* observer)
{
    ImportOutcome out;
    const Reader r{observer};
    r.status(QStringLiteral("读取文件..."));
    TextImport::Lines lines;
    r.status(QStringLiteral("分析数据..."));
    if (!decode(fileBytes, s.startLine, &lines, &out))
        return out;

    const QStringView sep(s.separator);
    const int cSfb = s.column(ImportField::OwnBank);
    const int cSkzh = s.column(ImportField::PayeeAccount);
    const int cSkdw = s.column(ImportField::PayeeName);
    const int cSkyh = s.column(ImportField::PayeeBank);
    const int cHrdd = s.column(ImportField::PayeePlace);
    const int cJe = s.column(ImportField::Amount);
    const int cDess = s.column(ImportField::Urgent);
    const int cYt = s.column(ImportField::Purpose);
    const int cBz = s.column(ImportField::Remark);
    auto flag = [&](QStringView v) -> QStringView {
        return v == QStringView(s.yesText) ? YesText : NoText;
    };
    auto orSpace = [&](QStringView v) -> QStringView {
        return v.isEmpty() ? QStringView(kSpace) : v;
    };

    SplitLine split;
    std::vector<Record<9>> records;
    const qsizetype first = std::max(s.startLine - 1, 0);
    if (lines.count() > first)
        records.reserve(size_t(lines.count() - first));
    for (qsizetype i = first; i < lines.count(); ++i) {
        r.events();
        split.split(lines.line(i), sep);
        const int L = int(i) + 1;
        Record<9> rec;
        rec.texts[0] = flag(split.field(cSfb));
        const QStringView account = split.field(cSkzh);
        if (account.isEmpty()) {
            out.kind = ImportOutcome::AnalysisFailed;
            out.messages << lineMessage(L, QStringLiteral("行收款账号为空，导入中止！"));
            return out;
        }
        rec.texts[1] = account;
        rec.texts[2] = orSpace(split.field(cSkdw));
        rec.texts[3] = orSpace(split.field(cSkyh));
        rec.texts[4] = orSpace(split.field(cHrdd));
        const QStringView amount = split.field(cJe);
        if (amount.isEmpty()) {
            out.kind = ImportOutcome::AnalysisFailed;
            out.messages << lineMessage(L, QStringLiteral("行金额为空，导入中止！"));
            return out;
        }
        // As the platform's number conversion reads it (an exponent too), exactly;
        // more than four decimals rounded as the currency conversion rounds them.
        const auto money = Money::parseNumber(amount);
        if (!money) {
            out.kind = ImportOutcome::AnalysisFailed;
            out.messages << lineMessage(L, QStringLiteral("行金额格式错误，导入中止！"));
            return out;
        }
        rec.texts[5] = amount;
        rec.amount = *money;
        rec.texts[6] = flag(split.field(cDess));
        rec.texts[7] = orSpace(split.field(cYt));
        rec.texts[8] = orSpace(split.field(cBz));
        // Everything that can be known before the first INSERT is checked here.
        static const struct
        {
            int pos;
            int width;
            const char16_t* label;
        } widths[] = {
            {1, 50, u"收款账号"}, {2, 50, u"收款单位"}, {3, 50, u"收款银行"},
            {4, 50, u"汇入地点"}, {7, 50, u"用途"},     {8, 100, u"备注"},
        };
        for (const auto& w : widths) {
            if (characterCount(rec.texts[size_t(w.pos)]) > w.width) {
                out.kind = ImportOutcome::AnalysisFailed;
                out.messages << tooLong(L, QString::fromUtf16(w.label));
                return out;
            }
        }
        records.push_back(rec);
    }

    r.status(QStringLiteral("导入数据库..."));
    if (observer)
        observer->progressRange(int(records.size()));
    const QString sql = QStringLiteral(
        "insert into Payment (用户编号,溯枫帐号,收款帐号,收款银行,收款单位,汇入地点,金额,用途,备注,"
        "大额实时) values(:bh,:sfb,:skzh,:skyh,:skdw,:hrdd,:je,:yt,:bz,:dess)");
    const QString one = QStringLiteral("1");
    out = runInserts(dm, sql, records.size(), QStringLiteral("支付指令"), nullptr,
                     [&](BulkStatement& st, size_t k) {
                         const Record<9>& rec = records[k];
                         st.bindText(0, one);
                         st.bindText(1, rec.texts[0]);
                         st.bindText(2, rec.texts[1]);
                         st.bindText(3, rec.texts[3]);
                         st.bindText(4, rec.texts[2]);
                         st.bindText(5, rec.texts[4]);
                         st.bindInt64(6, rec.amount.units()); // exact, in ten-thousandths
                         st.bindText(7, rec.texts[7]);
                         st.bindText(8, rec.texts[8]);
                         st.bindText(9, rec.texts[6]);
                     });
    if (out.kind == ImportOutcome::Success) {
        out.messages << QStringLiteral("已成功导入%1个记录").arg(out.count);
        r.status(QStringLiteral("导入完成..."));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Payee accounts

QList<ImportColumn> payeeImportColumns()
{
    return {
        {ImportField::PayeeAccount, QStringLiteral("收款账号"), false, 0},
        {ImportField::PayeeName, QStringLiteral("收款单位"), false, 0},
        {ImportField::PayeeBank, QStringLiteral("收款银行"), false, 0},
        {ImportField::PayeePlace, QStringLiteral("汇入地点"), true, 0},
        {ImportField::Remark, QStringLiteral("备注"), true, 0},
        {ImportField::OwnBank, QStringLiteral("是否溯枫账号"), true, 0},
        {ImportField::Classification, QStringLiteral("账号分类"), true, 0},
        {ImportField::CustomNo, QStringLiteral("自定编号"), true, 0},
    };
}

namespace {

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
        dm.ATCompanyType->requery();
        types.load(dm.ADOConn);
    }
    throw DbError(QStringLiteral("账号分类“%1”创建后仍未找到，导入中断。").arg(name));
}

} // namespace

ImportOutcome importPayees(TDataModule2& dm, const QByteArray& fileBytes, const ImportSettings& s,
                           ImportObserver* observer)
{
    ImportOutcome out;
    const Reader r{observer};
    r.status(QStringLiteral("读取文件..."));
    if (observer) {
        observer->progressRange(100);
        observer->progress(30);
    }
    TextImport::Lines lines;
    const bool decoded = decode(fileBytes, s.startLine, &lines, &out);
    if (observer)
        observer->progress(100);
    r.status(QStringLiteral("分析数据..."));
    if (!decoded)
        return out;

    const QStringView sep(s.separator);
    const int cAccount = s.column(ImportField::PayeeAccount);
    const int cUnit = s.column(ImportField::PayeeName);
    const int cBank = s.column(ImportField::PayeeBank);
    const int cPlace = s.column(ImportField::PayeePlace);
    const int cMemo = s.column(ImportField::Remark);
    const int cType = s.column(ImportField::Classification);
    const int cSf = s.column(ImportField::OwnBank);
    const int cNo = s.column(ImportField::CustomNo);

    const qsizetype first = std::max(s.startLine - 1, 0);
    const int toAnalyse = int(std::max<qsizetype>(lines.count() - first, 0));
    if (observer) {
        observer->progressRange(toAnalyse);
        observer->progress(0);
    }
    SplitLine split;
    std::vector<Record<8>> records;
    records.reserve(size_t(toAnalyse));
    for (qsizetype i = first; i < lines.count(); ++i) {
        if (observer)
            observer->progress(int(i - first) + 1);
        r.events();
        split.split(lines.line(i), sep);
        const int L = int(i) + 1;
        Record<8> rec;
        const std::array<std::pair<int, const char16_t*>, 3> mandatory = {
            std::pair{cAccount, u"行账号为空，导入中止！"},
            std::pair{cUnit, u"行收款单位为空，导入中止！"},
            std::pair{cBank, u"行收款银行为空，导入中止！"}};
        for (size_t k = 0; k < mandatory.size(); ++k) {
            const QStringView v = split.field(mandatory[k].first);
            if (v.isEmpty()) {
                out.kind = ImportOutcome::AnalysisFailed;
                out.messages << lineMessage(L, QString::fromUtf16(mandatory[k].second));
                return out;
            }
            rec.texts[k] = v;
        }
        rec.texts[3] = split.field(cPlace);
        rec.texts[4] = split.field(cMemo);
        rec.texts[5] = split.field(cType);
        rec.texts[6] =
            split.field(cSf) == QStringView(s.yesText) ? QStringView(YesText) : QStringView(NoText);
        rec.texts[7] = split.field(cNo);
        static const struct
        {
            int pos;
            int width;
            const char16_t* label;
        } widths[] = {
            {0, 50, u"收款账号"}, {1, 50, u"收款单位"}, {2, 50, u"收款银行"}, {3, 50, u"汇入地点"},
            {4, 20, u"备注"},     {5, 50, u"账号分类"}, {7, 50, u"自定编号"},
        };
        for (const auto& w : widths) {
            if (characterCount(rec.texts[size_t(w.pos)]) > w.width) {
                out.kind = ImportOutcome::AnalysisFailed;
                out.messages << tooLong(L, QString::fromUtf16(w.label));
                return out;
            }
        }
        records.push_back(rec);
    }

    r.status(QStringLiteral("导入数据库..."));
    if (observer) {
        observer->progressRange(int(records.size()));
        observer->progress(0);
    }
    CompanyTypes types;
    const QString sql = QStringLiteral(
        "insert into Company (收款帐号,收款单位,收款银行,汇入地点,备注,账号分类,溯枫帐号,自定编号) "
        "values(:account,:unit,:bank,:place,:memo,:companytype,:ifsf,:no)");
    bool loaded = false;
    out = runInserts(dm, sql, records.size(), QStringLiteral("往来账号"), observer,
                     [&](BulkStatement& st, size_t k) {
                         if (!loaded) {
                             types.load(dm.ADOConn);
                             loaded = true;
                         }
                         const Record<8>& rec = records[k];
                         for (int p = 0; p < 5; ++p)
                             st.bindText(p, rec.texts[size_t(p)]);
                         st.bindText(5, companyTypeId(dm, types, rec.texts[5].toString()));
                         st.bindText(6, rec.texts[6]);
                         st.bindText(7, rec.texts[7]);
                     });
    if (out.kind == ImportOutcome::Success) {
        out.messages << QStringLiteral("已成功导入%1个往来账号").arg(out.count);
        r.status(QString());
    }
    return out;
}

} // namespace bankprep
