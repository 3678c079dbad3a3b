#pragma once

#include "core/data/money.h"
#include "core/import/textimport.h"

#include <QString>
#include <QStringView>
#include <vector>

namespace bankprep::TextRecords {

// A line split once at every separator, the fields then read by column number: the same
// fields as scanning the line again from its start for each column.
class SplitLine
{
public:
    void split(QStringView line, QStringView separator);
    // The field at 1-based `column`, blanks removed from both ends; empty beyond the last.
    QStringView field(int column) const;

private:
    std::vector<QStringView> m_parts;
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
std::vector<FieldPlan> planFor(const ImportLayout& layout, const ImportSettings& s);

// What refuses a field of a line, as the import says it (empty: nothing): a required
// value missing or an amount that is no number, else a text beyond its width.
struct FieldProblems
{
    std::vector<QString> value; // per field
    std::vector<QString> width; // per field
    // The message that refuses the line: the first value problem in the order of the
    // fields, else the first width problem; empty when the line makes a record.
    QString first() const;
};

// One line into a record, every field checked (for the preview, which marks each cell).
void analyseCells(const SplitLine& split, int line, const std::vector<FieldPlan>& plan,
                  const ImportLayout& layout, QStringView yesText, Record& out,
                  FieldProblems& problems);
// One line into a record, refused (ImportLineError) at the first problem: everything that
// can be known before the first INSERT.
void analyseLine(const SplitLine& split, int line, const std::vector<FieldPlan>& plan,
                 const ImportLayout& layout, QStringView yesText, Record& out);

// The lines from the start line on, each analysed into a record when it is reached. The
// analysis pass reads them all before anything is written; the import pass reads them
// again, one at a time, so that no more than one line is held as text.
class RecordReader
{
public:
    RecordReader(const ImportLayout& layout, const TextImport::LineSource& lines,
                 const ImportSettings& s);
    size_t count() const { return size_t(std::max<qsizetype>(m_lines.count() - m_first, 0)); }
    // Record `k` (0-based from the start line); refused as its line is.
    const Record& read(size_t k);
    // The file's line number (1-based) of record `k`.
    int lineOf(size_t k) const { return int(m_first + qsizetype(k)) + 1; }

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

} // namespace bankprep::TextRecords
