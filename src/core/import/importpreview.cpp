#include "core/import/importpreview.h"

#include "core/import/textrecords.h"

namespace bankprep {

namespace {

using namespace TextRecords;

const QString kUndecodable = QStringLiteral("行含有无法识别的字符，导入中止！");

// One record's cells for the preview.
std::vector<ImportPreview::Cell> cellsOf(const Record& record, const FieldProblems& problems,
                                         const std::vector<FieldPlan>& plan)
{
    std::vector<ImportPreview::Cell> cells;
    for (size_t i = 0; i < plan.size(); ++i) {
        ImportPreview::Cell c;
        if (plan[i].def->kind == FieldKind::Amount)
            c.value = problems.value[i].isEmpty() ? record.amount.toString() : QString();
        else
            c.value = record.texts[i].toString();
        c.problem = problems.value[i].isEmpty() ? problems.width[i] : problems.value[i];
        cells.push_back(std::move(c));
    }
    return cells;
}

void addAmount(ImportPreview& p, Money amount)
{
    if (p.totalOverflow)
        return;
    if (const auto sum = p.total.plus(amount))
        p.total = *sum;
    else
        p.totalOverflow = true;
}

} // namespace

ImportPreview previewTextImport(const ImportLayout& layout, const QByteArray& bytes,
                                const ImportSettings& settings, int shown)
{
    ImportPreview p;
    const TextImport::LineSource lines(bytes, settings.encoding);
    p.encoding = lines.encoding();
    const std::vector<FieldPlan> plan = planFor(layout, settings);
    for (const FieldPlan& f : plan) {
        p.headings << f.def->label;
        p.hasAmounts = p.hasAmounts || f.def->kind == FieldKind::Amount;
    }
    const qsizetype first = std::max(settings.startLine - 1, 0);
    // The import checks that every line decodes before it analyses any: a line that does
    // not is its refusal even when an earlier line has another problem.
    QString undecodable;
    QString firstProblem;
    QString line;
    SplitLine split;
    Record record;
    FieldProblems problems;
    for (qsizetype i = first; i < lines.count(); ++i) {
        const int lineNo = int(i) + 1;
        ++p.records;
        const bool shownRow = qsizetype(p.rows.size()) < shown;
        if (!lines.decode(i, line)) {
            if (undecodable.isEmpty())
                undecodable = ImportLineError(lineNo, kUndecodable).message();
            if (shownRow) {
                std::vector<ImportPreview::Cell> cells(plan.size());
                if (!cells.empty())
                    cells.front().problem = ImportLineError(lineNo, kUndecodable).message();
                p.rows.push_back(std::move(cells));
                p.lines.push_back(lineNo);
            }
            continue;
        }
        split.split(line, settings.separator);
        analyseCells(split, lineNo, plan, layout, settings.yesText, record, problems);
        const QString refusal = problems.first();
        if (firstProblem.isEmpty())
            firstProblem = refusal;
        if (p.hasAmounts && refusal.isEmpty())
            addAmount(p, record.amount);
        if (shownRow) {
            p.rows.push_back(cellsOf(record, problems, plan));
            p.lines.push_back(lineNo);
        }
    }
    p.refusal = !undecodable.isEmpty() ? undecodable : firstProblem;
    return p;
}

QString previewSummary(const ImportPreview& p, bool showEncoding)
{
    QString text = QStringLiteral("共%1条记录").arg(p.records);
    if (p.hasAmounts) {
        text += p.totalOverflow ? QStringLiteral("，金额合计超出范围")
                                : QStringLiteral("，金额合计%1元").arg(p.total.toDisplayString());
    }
    if (showEncoding)
        text += QStringLiteral("；文件编码：%1").arg(encodingText(p.encoding));
    text += QStringLiteral("。");
    if (qsizetype(p.rows.size()) < p.records)
        text += QStringLiteral("下表列出前%1条。").arg(p.rows.size());
    return text;
}

} // namespace bankprep
