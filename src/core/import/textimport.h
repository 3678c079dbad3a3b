#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

class QIODevice;

namespace bankprep {

class TDataModule2;

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
// Blanks (isBlank: control characters, spaces, the full-width space) removed from both ends.
QStringView trimControls(QStringView s);

// Splits "是/否"-style notation at its first "/". False when there is nothing before
// or after it, or no "/" at all.
bool checkYesNo(const QString& notation, QString* yes, QString* no);

enum class NumberProblem
{
    None,
    Blank,
    NotNumber,
    Negative
};
// Checks a column-number or start-line text (not trimmed); blank gives 0 where allowed.
NumberProblem isNumeric(const QString& text, bool blankAllowed, int* value);
QString numberMessage(NumberProblem problem, const QString& label);

// Reads a whole file into lines: CR LF, LF or CR end a line; the text ends at the
// first NUL byte. A file starting with the UTF-8 byte-order mark is UTF-8, any other
// is GBK; bytes not valid in that encoding are refused with the 1-based line number.
struct Lines
{
    QString text;
    std::vector<std::pair<qsizetype, qsizetype>> spans; // each line's start and length in text
    int badLine = 0; // > 0: that line holds bytes the encoding does not allow

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

// The end of a run, with the messages to show in order.
struct ImportOutcome
{
    enum Kind
    {
        Success,
        AnalysisFailed,
        Interrupted,
        Failed
    };
    Kind kind = Failed;
    int count = 0;
    QStringList messages;
};

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

// One column field of an import.
struct ImportColumn
{
    ImportField field;
    QString messageLabel; // used in the number-check messages
    bool blankAllowed = true;
    int number = 0; // 1-based column in the file; 0: not in the file
};

// Settings of a run, as checked by the window (or the command-line tool).
struct ImportSettings
{
    QString separator;
    QString yesText;
    QString noText;
    int startLine = 1;
    QList<ImportColumn> columns;
    int column(ImportField field) const;
};

// The settings as typed into an import window (or given to the command-line tool),
// and their checks in the window's order: separator, file, the column numbers and the
// start line, the lowest start line, the yes/no notation. On failure `message` is the
// window's text and `focus` the setting whose control gets the focus.
struct ImportForm
{
    QString separatorText;
    QString file;
    QString startText;
    QMap<ImportField, QString> columnTexts;
    QString yesNoText;
};
struct ImportRules
{
    QList<ImportColumn> checkOrder; // number checks, in order
    int startCheckIndex = 0;        // the start line is checked before this column
    bool startBlankAllowed = true;
    int lowestStart = 1;
    QString lowStartMessage;
};
struct ImportCheck
{
    bool ok = false;
    QString message;
    ImportField focus = ImportField::Separator;
    ImportSettings settings;
};
ImportCheck checkImportForm(const ImportForm& form, const ImportRules& rules);
ImportRules paymentImportRules();
ImportRules payeeImportRules();

// The payment-instruction import: table Payment, user number "1", empty optional texts
// stored as one space. The window re-reads the payment table after a successful run.
QList<ImportColumn> paymentImportColumns(); // with the window's defaults
ImportOutcome importPayments(TDataModule2& dm, const QByteArray& fileBytes,
                             const ImportSettings& settings, ImportObserver* observer = nullptr);

// The payee-account import: table Company, classifications found or created by name.
QList<ImportColumn> payeeImportColumns(); // all 0: the window has no defaults
ImportOutcome importPayees(TDataModule2& dm, const QByteArray& fileBytes,
                           const ImportSettings& settings, ImportObserver* observer = nullptr);

} // namespace bankprep
