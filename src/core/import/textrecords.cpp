#include "core/import/textrecords.h"

#include "core/data/gbk.h"
#include "core/data/names.h"
#include "core/data/schema.h"

namespace bankprep::TextRecords {

using K = FieldKind;

void SplitLine::split(QStringView line, QStringView separator)
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

QStringView SplitLine::field(int column) const
{
    if (column < 1 || size_t(column) > m_parts.size())
        return {};
    return trimBlanks(m_parts[size_t(column) - 1]);
}

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

QString FieldProblems::first() const
{
    for (const auto* list : {&value, &width}) {
        for (const QString& m : *list) {
            if (!m.isEmpty())
                return m;
        }
    }
    return QString();
}

namespace {

QString lineMessage(int line, const QString& text)
{
    return ImportLineError(line, text).message();
}

// One field's value as stored; `problem` is set when the field refuses the line.
QStringView fieldValue(const FieldPlan& f, QStringView v, const ImportLayout& layout,
                       QStringView yesText, Money& amount, bool& problem)
{
    const ImportFieldDef& d = *f.def;
    problem = false;
    if (v.isEmpty() && !d.requiredAs.isEmpty())
        problem = true;
    switch (d.kind) {
    case K::Text:
        if (v.isEmpty() && !layout.blankText.isEmpty())
            v = layout.blankText;
        break;
    case K::Amount: {
        // As the platform's number conversion reads it (an exponent too), exactly;
        // more than four decimals rounded as the currency conversion rounds them.
        const auto money = Money::parseNumber(v);
        if (money)
            amount = *money;
        else
            problem = true;
        break;
    }
    case K::YesNo:
        v = v == yesText ? QStringView(YesText) : QStringView(NoText);
        break;
    case K::Classification:
        break;
    }
    return v;
}

// What follows the line number in the message refusing a field's value or width.
QString valueProblem(const ImportFieldDef& d, QStringView raw)
{
    if (raw.isEmpty() && !d.requiredAs.isEmpty())
        return QStringLiteral("行") + d.requiredAs + QStringLiteral("为空，导入中止！");
    return QStringLiteral("行") + d.label + QStringLiteral("格式错误，导入中止！");
}

QString widthProblem(const ImportFieldDef& d)
{
    return QStringLiteral("行") + d.label + QStringLiteral("超出长度，导入中止！");
}

} // namespace

void analyseCells(const SplitLine& split, int line, const std::vector<FieldPlan>& plan,
                  const ImportLayout& layout, QStringView yesText, Record& out,
                  FieldProblems& problems)
{
    out.texts.clear();
    out.amount = Money();
    problems.value.assign(plan.size(), QString());
    problems.width.assign(plan.size(), QString());
    for (size_t i = 0; i < plan.size(); ++i) {
        const QStringView raw = split.field(plan[i].column);
        bool problem = false;
        out.texts.push_back(fieldValue(plan[i], raw, layout, yesText, out.amount, problem));
        if (problem)
            problems.value[i] = lineMessage(line, valueProblem(*plan[i].def, raw));
        else if (plan[i].width > 0 && characterCount(out.texts[i]) > plan[i].width)
            problems.width[i] = lineMessage(line, widthProblem(*plan[i].def));
    }
}

void analyseLine(const SplitLine& split, int line, const std::vector<FieldPlan>& plan,
                 const ImportLayout& layout, QStringView yesText, Record& out)
{
    // First every value in the order of the fields (an empty required one or an amount
    // that is no number refuses the line), then every text against its width.
    out.texts.clear();
    out.amount = Money();
    for (const FieldPlan& f : plan) {
        const QStringView raw = split.field(f.column);
        bool problem = false;
        out.texts.push_back(fieldValue(f, raw, layout, yesText, out.amount, problem));
        if (problem)
            throw ImportLineError(line, valueProblem(*f.def, raw));
    }
    for (size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].width > 0 && characterCount(out.texts[i]) > plan[i].width)
            throw ImportLineError(line, widthProblem(*plan[i].def));
    }
}

RecordReader::RecordReader(const ImportLayout& layout, const TextImport::LineSource& lines,
                           const ImportSettings& s)
    : m_layout(layout), m_lines(lines), m_settings(s), m_plan(planFor(layout, s)),
      m_first(std::max<qsizetype>(s.startLine - 1, 0))
{
}

const Record& RecordReader::read(size_t k)
{
    const qsizetype i = m_first + qsizetype(k);
    if (!m_lines.decode(i, m_line)) // checked before: only a changed rule gets here
        throw ImportLineError(int(i) + 1, QStringLiteral("行含有无法识别的字符，导入中止！"));
    m_split.split(m_line, m_settings.separator);
    analyseLine(m_split, int(i) + 1, m_plan, m_layout, m_settings.yesText, m_record);
    return m_record;
}

} // namespace bankprep::TextRecords
