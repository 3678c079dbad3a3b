#include "core/import/salaryimport.h"

#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/schema.h"
#include "core/data/table.h"
#include "core/export/sha256.h"
#include "core/import/importpreview.h"

#include <algorithm>

namespace bankprep {

namespace {

// An amount written by a person or a program with thousands separators ("3,500.50"):
// the separators go when every one stands where it belongs; otherwise the text stays
// as it is (and is refused as an amount).
QString withoutGrouping(const QString& text)
{
    if (!text.contains(QLatin1Char(',')))
        return text;
    const QString t = text.trimmed();
    qsizetype i = (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) ? 1 : 0;
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    const QStringView whole = QStringView(t).mid(i, (point < 0 ? t.size() : point) - i);
    const QStringList groups = whole.toString().split(QLatin1Char(','));
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const QString& digits = groups.at(g);
        const bool sized = g == 0 ? digits.size() >= 1 && digits.size() <= 3 : digits.size() == 3;
        if (!sized)
            return text;
        for (const QChar c : digits) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return text;
        }
    }
    if (point >= 0 && t.indexOf(QLatin1Char(','), point) >= 0)
        return text;
    return QString(t).remove(QLatin1Char(','));
}

} // namespace

QStringList spreadsheetTitles(const Spreadsheet& sheet)
{
    QStringList titles;
    for (int c = 1;; ++c) {
        QString t;
        try {
            t = sheet.cell(1, c);
        } catch (const DbError&) {
            // A title that lost digits is still a title: show what the cell holds.
            t = QStringLiteral("?");
        }
        if (t.isEmpty())
            break;
        titles << t;
    }
    return titles;
}

SalaryFile openSalaryFile(const QString& path)
{
    SalaryFile f;
    f.sheet = openSpreadsheet(path);
    f.source.file = path;
    f.source.sha256 = sha256Hex(FileGuard::readInputFile(path));
    f.titles = spreadsheetTitles(f.sheet);
    if (f.titles.isEmpty())
        throw DbError(QStringLiteral("文件中没有列标题。"));
    return f;
}

namespace {

// Stores payroll lines as the salary table would store them, one prepared INSERT for
// the whole import: the current user's number (the table's owner stamp), texts checked
// against their columns' widths in the table's order and refused with its message, an
// absent cell stored as NULL, the amount as its ten-thousandths.
class SalaryWriter
{
public:
    explicit SalaryWriter(TDataModule2& dm)
        : m_user(dm.CurrentUser),
          m_insert(dm.ADOConn, QStringLiteral("INSERT INTO \"Salary\" (\"员工编号\", \"姓名\", "
                                              "\"卡号\", \"金额\", \"用户编号\") VALUES "
                                              "(?, ?, ?, ?, ?)"))
    {
        const TableDef* salary = findTableDef(tbl::Salary);
        for (const QString& name : {col::EmployeeNo, col::EmployeeName, col::CardNo, col::UserId})
            m_columns.push_back(salary->column(name));
    }

    void store(const QString& number, const QString& name, const QString& card, Money amount)
    {
        const QString* texts[] = {&number, &name, &card, &m_user};
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const ColumnDef& c = *m_columns[i];
            if (!texts[i]->isNull() && c.width > 0 && characterCount(*texts[i]) > c.width)
                throw DbError(tooLongMessage(c));
        }
        bindText(0, number);
        bindText(1, name);
        bindText(2, card);
        m_insert.bindInt64(3, amount.units());
        bindText(4, m_user);
        m_insert.exec();
        m_keys.add(m_insert.lastInsertKey());
        m_prints.add(m_insert);
    }
    const RowKeys& keys() const { return m_keys; }
    const RowFingerprints& fingerprints() const { return m_prints; }

private:
    void bindText(int position, const QString& text)
    {
        if (text.isNull())
            m_insert.bindNull(position);
        else
            m_insert.bindText(position, text);
    }

    const QString m_user;
    BulkStatement m_insert;
    std::vector<const ColumnDef*> m_columns; // 员工编号, 姓名, 卡号, 用户编号
    RowKeys m_keys;
    RowFingerprints m_prints{
        ImportKind::Salary,
        {col::EmployeeNo, col::EmployeeName, col::CardNo, col::Amount, col::UserId}};
};

// Sheet row `row`, whose employee number is `number`, stored. Throws when the row
// cannot be stored.
void storeSalaryRow(SalaryWriter& writer, const Spreadsheet& sheet, const SalaryColumns& columns,
                    int row, const QString& number)
{
    const QString name = sheet.cell(row, columns.name);
    const QString card = sheet.cell(row, columns.card);
    const QString amountText = sheet.cell(row, columns.amount);
    // The decimal point is "." whatever the machine's locale; more than four
    // decimals are rounded as the currency conversion rounds them.
    const auto amount =
        Money::parseRounded(sheet.isDelimitedText() ? withoutGrouping(amountText) : amountText);
    if (!amount)
        throw DbError(QStringLiteral("实发工资“%1”不是有效的金额").arg(amountText));
    writer.store(number, name, card, *amount);
}

// The key of the salary table's last row, inside the import's transaction (no other
// connection can add one meanwhile).

// Commits the rows stored. A refused COMMIT keeps none of them: the salary table is
// re-read to show what the database holds, and the refusal says nothing was imported.
void commitImport(Transaction& transaction, Table& salary)
{
    try {
        transaction.commit();
    } catch (const DbError& e) {
        try {
            if (salary.isOpen())
                salary.requery();
        } catch (...) {
        }
        throw DbError(e.message() + QStringLiteral("（本次没有导入任何数据）"));
    }
}

// The views of the salary table show the stored rows; a job that did not read the
// table (the command-line tool) has none.
void presentImported(Table& salary, qint64 lastKey)
{
    if (salary.isOpen())
        salary.presentInsertedRows(lastKey);
}

// The rows stored, one batch recorded in the import's transaction.
void recordSalaryBatch(TDataModule2& dm, const ImportSource& source, const SalaryWriter& writer)
{
    if (writer.keys().count() > 0)
        recordImportBatch(dm.ADOConn, ImportKind::Salary, source, writer.keys(), dm.CurrentUser,
                          &writer.fingerprints());
}

// "导入第3行时出错：实发工资“abc”不是有效的金额。已导入数据1条。"
QString rowRefusal(int row, const QString& reason, int stored)
{
    QString because = reason;
    while (because.endsWith(QStringLiteral("。")))
        because.chop(1);
    return QStringLiteral("导入第%1行时出错：%2。已导入数据%3条。")
        .arg(row)
        .arg(because)
        .arg(stored);
}

} // namespace

int importSalary(TDataModule2& dm, const Spreadsheet& sheet, const SalaryColumns& columns,
                 const ImportSource& source)
{
    Table& salary = *dm.ATSalary;
    salary.checkBrowseMode();
    std::unique_ptr<PendingBackup> backup = dm.startBackupBefore(BackupReason::ImportSalary);
    Transaction transaction(dm.ADOConn);
    const qint64 lastKey = salary.lastStoredKey();
    SalaryWriter writer(dm);
    int row = 2;
    int stored = 0;
    try {
        for (;; ++row) {
            // The employee number first: the row that ends the list (a totals row, say)
            // is never checked.
            const QString number = sheet.cell(row, columns.number);
            if (number.isEmpty())
                break;
            storeSalaryRow(writer, sheet, columns, row, number);
            ++stored;
        }
    } catch (const std::exception& e) {
        // The refused row is not stored; the rows before it stay.
        const QString reason = describeError(e);
        recordSalaryBatch(dm, source, writer);
        dm.finishBackup(backup);
        commitImport(transaction, salary);
        presentImported(salary, lastKey);
        throw DbError(rowRefusal(row, reason, stored));
    }
    recordSalaryBatch(dm, source, writer);
    // Nothing is committed before the backup of the state before the import is complete.
    dm.finishBackup(backup);
    commitImport(transaction, salary);
    presentImported(salary, lastKey);
    return stored;
}

namespace {

// One sheet row for the preview: the four cells as stored, each with what refuses it,
// and the message that stops the import at this row (the import's first).
struct PreviewRow
{
    std::vector<ImportPreview::Cell> cells = std::vector<ImportPreview::Cell>(4);
    std::optional<Money> amount;
    QString refusal;
};

PreviewRow previewRow(const Spreadsheet& sheet, const SalaryColumns& columns, int row)
{
    const TableDef* salary = findTableDef(tbl::Salary);
    const ColumnDef* widths[] = {salary->column(col::EmployeeNo), salary->column(col::EmployeeName),
                                 salary->column(col::CardNo)};
    const int at[] = {columns.number, columns.name, columns.card, columns.amount};
    PreviewRow r;
    // In the import's order: a cell that cannot be read, the amount, then the widths.
    QString readError;
    QString amountError;
    QString widthError;
    auto note = [&](ImportPreview::Cell& c, QString& first, const QString& reason) {
        c.problem = rowRefusal(row, reason, row - 2);
        if (first.isEmpty())
            first = c.problem;
    };
    for (int i = 0; i < 4; ++i) {
        ImportPreview::Cell& c = r.cells[size_t(i)];
        QString text;
        try {
            text = sheet.cell(row, at[i]);
        } catch (const DbError& e) {
            note(c, readError, e.message());
            continue;
        }
        c.value = text;
        if (i < 3) {
            if (widths[i]->width > 0 && characterCount(text) > widths[i]->width)
                note(c, widthError, tooLongMessage(*widths[i]));
            continue;
        }
        r.amount = Money::parseRounded(sheet.isDelimitedText() ? withoutGrouping(text) : text);
        if (r.amount)
            c.value = r.amount->toString();
        else
            note(c, amountError, QStringLiteral("实发工资“%1”不是有效的金额").arg(text));
    }
    r.refusal = !readError.isEmpty()     ? readError
                : !amountError.isEmpty() ? amountError
                                         : widthError;
    return r;
}

} // namespace

ImportPreview previewSalaryImport(const Spreadsheet& sheet, const SalaryColumns& columns, int shown)
{
    ImportPreview p;
    p.headings = {QStringLiteral("编号"), QStringLiteral("姓名"), QStringLiteral("卡号"),
                  QStringLiteral("实发工资")};
    p.hasAmounts = true;
    for (int row = 2;; ++row) {
        try {
            if (sheet.cell(row, columns.number).isEmpty())
                break; // the row that ends the list
        } catch (const DbError&) {
            // A number that lost digits is a row the import refuses.
        }
        PreviewRow r = previewRow(sheet, columns, row);
        ++p.records;
        if (p.refusal.isEmpty())
            p.refusal = r.refusal;
        if (r.amount && !p.totalOverflow) {
            if (const auto sum = p.total.plus(*r.amount))
                p.total = *sum;
            else
                p.totalOverflow = true;
        }
        if (qsizetype(p.rows.size()) < shown) {
            p.rows.push_back(std::move(r.cells));
            p.lines.push_back(row);
        }
    }
    return p;
}

QString salaryImportedMessage(int stored)
{
    return QStringLiteral("共导入数据%1条。").arg(stored);
}

namespace {

constexpr int kWarningLines = 20;

void addWarning(QStringList& out, int& count, const QString& place, const QString& name,
                const QString& card)
{
    const QString problem = cardNumberProblem(card);
    if (problem.isEmpty())
        return;
    if (++count <= kWarningLines)
        out << QStringLiteral("%1（%2）：卡号“%3”%4").arg(place, name, card, problem);
}

void finishWarnings(QStringList& out, int count)
{
    if (count > kWarningLines)
        out << QStringLiteral("……共%1条").arg(count);
}

} // namespace

bool passesLuhn(QStringView digits)
{
    int sum = 0;
    bool twice = false;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        int d = digits.at(i).unicode() - '0';
        if (d < 0 || d > 9)
            return false;
        if (twice && (d *= 2) > 9)
            d -= 9;
        sum += d;
        twice = !twice;
    }
    return !digits.isEmpty() && sum % 10 == 0;
}

QString cardNumberProblem(QStringView card)
{
    const bool digitsOnly =
        std::all_of(card.begin(), card.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digitsOnly || card.size() < 16 || card.size() > 19)
        return QStringLiteral("不是16至19位数字");
    if (!passesLuhn(card))
        return QStringLiteral("的校验位不正确");
    return QString();
}

QStringList cardNumberWarnings(const Spreadsheet& sheet, const SalaryColumns& columns, int stored)
{
    QStringList out;
    int count = 0;
    for (int row = 2; row < stored + 2; ++row) {
        addWarning(out, count, QStringLiteral("第%1行").arg(row),
                   trimBlanks(sheet.cell(row, columns.name)).toString(),
                   trimBlanks(sheet.cell(row, columns.card)).toString());
    }
    finishWarnings(out, count);
    return out;
}

QStringList cardNumberWarnings(Table& salary)
{
    salary.checkBrowseMode();
    const int name = salary.fieldIndex(col::EmployeeName);
    const int card = salary.fieldIndex(col::CardNo);
    QStringList out;
    int count = 0;
    int position = 0;
    for (int r = 0; r < salary.rowCount(); ++r) {
        if (salary.isNewRow(r))
            continue;
        ++position;
        addWarning(out, count, QStringLiteral("第%1条").arg(position), salary.textAt(r, name),
                   salary.textAt(r, card));
    }
    finishWarnings(out, count);
    return out;
}

QString cardWarningHeading()
{
    return QStringLiteral("以下卡号可能不是有效的银行卡号，请核对（仅为提醒，不影响导入或导出）：");
}

} // namespace bankprep
