#pragma once

#include "core/data/dberror.h"
#include "core/import/importbatch.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace bankprep {

class TDataModule2;

// The columns and settings of the delimited-text imports, named for what they hold.
// The windows map them to their edits, the command-line tool to its options.
enum class ImportField
{
    OwnBank,        // 溯枫帐号: a payee account of this bank
    PayeeAccount,   // 收款帐号
    PayeeName,      // 收款单位
    PayeeBank,      // 收款银行
    PayeePlace,     // 汇入地点
    Amount,         // 金额
    Urgent,         // 大额实时
    Purpose,        // 用途
    Remark,         // 备注
    Classification, // 账号分类, given by its name
    CustomNo,       // 自定编号
    // The settings around the columns.
    Separator,
    File,
    StartLine,
    YesNo,
};

// A refusal of an import's settings; `field()` is the setting whose control gets the
// focus.
class ImportFormError : public DbError
{
public:
    ImportFormError(const QString& message, ImportField field) : DbError(message), m_field(field) {}
    ImportField field() const { return m_field; }

private:
    ImportField m_field;
};

// A line of the file that the analysis pass refuses (bytes the encoding does not allow,
// a required value missing, an amount that is no number, a text too long), before
// anything is written. The message names the line; the windows show it as a notice of
// their own, not as the system's error report.
class ImportLineError : public DbError
{
public:
    ImportLineError(int line, const QString& text)
        : DbError(QStringLiteral("第") + QString::number(line) + text), m_line(line)
    {
    }
    int line() const { return m_line; }

private:
    int m_line;
};

// How a file's bytes are read as text. Auto: a file starting with the UTF-8 byte-order
// mark is UTF-8; so is one that is valid UTF-8 throughout and holds Chinese text (any
// character of three bytes or more: a GBK file almost never is); any other is GBK.
enum class TextEncoding
{
    Auto,
    Gbk,
    Utf8,
};
// "auto", "gbk", "utf-8": the names profiles and the command-line tool use.
QString encodingCode(TextEncoding encoding);
std::optional<TextEncoding> encodingFromCode(QStringView code);
// As the clerk sees it: "自动识别", "GBK", "UTF-8".
QString encodingText(TextEncoding encoding);
// The encoding Auto chooses for a file's bytes (the text ends at the first NUL byte).
TextEncoding detectEncoding(QByteArrayView bytes);

// The delimited-text import shared by the payment and payee windows (and the
// command-line tool): settings checks, reading, field extraction, the yes/no mapping,
// the analysis pass that checks every line before anything is written, and the import
// pass that writes the records with a parameterised INSERT in one transaction.
namespace TextImport {

// The TAB item of the separator drop-down: one TAB followed by "<Tab>".
QString tabItem();
// The separator a drop-down text stands for: the TAB item means one TAB; anything else
// is the separator as typed.
QString separatorFromCombo(const QString& comboText);

// The field at 1-based `column` of `line`, blanks and control characters removed from
// both ends; empty for column 0 or a column beyond the last field. A separator of
// several characters is skipped whole.
QString getSubString(QStringView line, int column, QStringView separator);
QStringView subStringView(QStringView line, int column, QStringView separator);

// "是/否"-style notation split at its first "/". Refused with the window's message when
// there is nothing before or after it, or no "/" at all.
struct YesNo
{
    QString yes;
    QString no;
};
YesNo checkYesNo(const QString& notation);

// A column-number or start-line text (not trimmed) as its number; blank gives 0 where
// allowed. Refused with `label` + "不能为空值", "应填数字" or "不能为负数".
int checkNumber(const QString& text, bool blankAllowed, const QString& label);

// Reads a whole file into lines: CR LF, LF or CR end a line; the text ends at the
// first NUL byte. The encoding is the file's (Auto, above); bytes not valid in it are
// refused (ImportLineError) with the 1-based line number.
struct Lines
{
    QString text;
    std::vector<std::pair<qsizetype, qsizetype>> spans; // each line's start and length in text

    qsizetype count() const { return qsizetype(spans.size()); }
    QStringView line(qsizetype i) const
    {
        return QStringView(text).sliced(spans[size_t(i)].first, spans[size_t(i)].second);
    }
    QStringList toList() const;
};
// Lines before `firstLine` (a heading the import skips) that do not decode are kept as
// empty lines instead of refusing the file.
Lines decodeLines(QByteArray bytes, int firstLine = 1);

// The same lines, each decoded when it is read: an import of a million lines holds the
// file's bytes and one line at a time, not the whole text.
class LineSource
{
public:
    explicit LineSource(QByteArray bytes, TextEncoding encoding = TextEncoding::Auto);
    qsizetype count() const { return qsizetype(m_spans.size()); }
    // The encoding the lines are read in: Gbk or Utf8, never Auto.
    TextEncoding encoding() const { return m_utf8 ? TextEncoding::Utf8 : TextEncoding::Gbk; }
    // Line `index` (0-based) into `out`, replacing what it held; false when its bytes are
    // not valid in the file's encoding.
    bool decode(qsizetype index, QString& out) const;
    const QByteArray& bytes() const { return m_bytes; }
    // Refuses the file at its first line from `firstLine` (1-based) on that does not
    // decode, as decodeLines() does.
    void check(int firstLine) const;

private:
    QByteArray m_bytes;
    bool m_utf8 = false;
    std::vector<std::pair<qsizetype, qsizetype>> m_spans;
};

} // namespace TextImport

// What the windows show while a run goes on.
class ImportObserver
{
public:
    virtual ~ImportObserver() = default;
    virtual void status(const QString& text) { Q_UNUSED(text); }
    virtual void progressRange(int maximum) { Q_UNUSED(maximum); }
    virtual void progress(int value) { Q_UNUSED(value); }
    // Once per analysed line: let the window handle pending events.
    virtual void processEvents() {}
};

// The report of a run that reached the import pass: finished, or interrupted by a
// record the database refused (the rows before it stay). The messages to show, in order.
struct ImportReport
{
    int count = 0; // rows imported
    bool interrupted = false;
    QStringList messages;
};

// What a column of the file holds, and so how the analysis pass reads it and the
// import pass stores it.
enum class FieldKind
{
    Text,           // stored as read; an empty one as the import's blank text
    Amount,         // an exact amount, stored as its ten-thousandths
    YesNo,          // the file's yes text becomes 是, anything else 否
    Classification, // a classification name, stored as its id (created when missing)
};

// One column of an import.
struct ImportFieldDef
{
    ImportField field;
    QString column; // the schema column it fills (col::...)
    FieldKind kind;
    QString label;       // names it in the number-check and length messages
    bool numberRequired; // its column number may not be left blank
    // Not empty: a value is required on every line, and named so when it is missing.
    QString requiredAs = {};
    // The window's default column number; 0: the edit starts empty.
    int defaultColumn = 0;
};

// What one import reads, checks and writes. Widths are those of the schema.
struct ImportLayout
{
    ImportKind kind;
    QString table;                 // the table it fills (tbl::...)
    QList<ImportFieldDef> fields;  // in the order a line is analysed
    QList<ImportField> checkOrder; // the settings' number checks, the start line among them
    bool startBlankAllowed;        // a blank start line reads as 0
    int lowestStart;
    QString lowStartMessage;
    QString insertSql;   // one parameter, by position, for each column it names
    QString owner;       // not empty: the 用户编号 of every row
    QString blankText;   // what an empty text is stored as
    QString unit;        // what the interruption message counts
    QString doneMessage; // the success message, %1 the number of rows
    QString doneStatus;  // the window's status after success

    const ImportFieldDef& field(ImportField f) const;
    // The column edits' texts as a window opens: the default numbers, or empty.
    QMap<ImportField, QString> defaultTexts() const;
};

// The payment-instruction import: table Payment, user number "1", empty optional texts
// stored as one space. The window re-reads the payment table after a successful run.
const ImportLayout& paymentImport();
// The payee-account import: table Company, classifications found or created by name.
const ImportLayout& payeeImport();

// Settings of a run, as checked by the window (or the command-line tool).
struct ImportSettings
{
    QString separator;
    QString yesText;
    QString noText;
    int startLine = 1;
    TextEncoding encoding = TextEncoding::Auto;
    QMap<ImportField, int> columns; // 1-based; 0 or missing: not in the file
    int column(ImportField field) const { return columns.value(field, 0); }
};

// The settings as typed into an import window (or given to the command-line tool).
struct ImportForm
{
    QString separatorText;
    QString file;
    QString startText;
    QMap<ImportField, QString> columnTexts;
    QString yesNoText;
    TextEncoding encoding = TextEncoding::Auto;
};
// The settings an import window opens with: separator "|", the window's start line
// ("2" for payments, "1" for payees), the default columns, notation "是/否", encoding
// 自动识别; no file.
ImportForm defaultImportForm(const ImportLayout& layout);

// Checks the settings in the window's order: separator, file, the column numbers and
// the start line, the lowest start line, the yes/no notation. A refusal is an
// ImportFormError with the window's text and the setting to focus.
ImportSettings checkImportForm(const ImportForm& form, const ImportLayout& layout);

// A run: reading, the analysis pass that checks every line before anything is written
// (a refusal is an ImportLineError), and the import pass that writes the records with
// one parameterised INSERT in one transaction. Any other failure is the DbError of the
// system's report; rows stored before it stay unless the commit failed.
ImportReport importText(TDataModule2& dm, const ImportLayout& layout, const QByteArray& fileBytes,
                        const ImportSettings& settings, ImportObserver* observer = nullptr,
                        const ImportSource& source = {});

// The same run in its two steps: the file read and checked (the encoding and the
// analysis pass: nothing is written, nothing of the database is read), then stored. The
// command-line tool checks the file while the login's hash is computed.
class CheckedImport
{
public:
    // Throws ImportLineError for a line refused.
    CheckedImport(const ImportLayout& layout, const QByteArray& fileBytes,
                  const ImportSettings& settings, ImportObserver* observer = nullptr);
    // The rows stored are recorded as one batch of `source` (its hash computed from the
    // bytes when it has none), so that the import can be undone.
    ImportReport store(TDataModule2& dm, const ImportSource& source = {},
                       ImportObserver* observer = nullptr) const;
    const ImportLayout& layout() const { return m_layout; }
    const ImportSettings& settings() const { return m_settings; }

private:
    const ImportLayout& m_layout;
    ImportSettings m_settings;
    TextImport::LineSource m_lines;
    size_t m_count = 0;
};
inline ImportReport importPayments(TDataModule2& dm, const QByteArray& fileBytes,
                                   const ImportSettings& settings,
                                   ImportObserver* observer = nullptr,
                                   const ImportSource& source = {})
{
    return importText(dm, paymentImport(), fileBytes, settings, observer, source);
}
inline ImportReport importPayees(TDataModule2& dm, const QByteArray& fileBytes,
                                 const ImportSettings& settings, ImportObserver* observer = nullptr,
                                 const ImportSource& source = {})
{
    return importText(dm, payeeImport(), fileBytes, settings, observer, source);
}

} // namespace bankprep
