#include "core/export/bankfiles.h"

#include "core/data/dberror.h"
#include "core/data/gbk.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/table.h"

#include <QDir>
#include <QFileInfo>
#include <memory>
#include <optional>

namespace bankprep {

namespace {

const QByteArray kCrLf("\r\n");

[[noreturn]] void refuseCharacter(int rowPosition, const QString& column, const QString& text)
{
    const QString bad = GbkEncoder::firstUnencodable(text);
    throw DbError(
        QStringLiteral(
            "第%1行“%2”中的字符“%3”无法用GBK编码写入银行文件，未导出任何文件。请修改后再导出。")
            .arg(rowPosition)
            .arg(column, bad.isEmpty() ? text : bad));
}

// Appends one stored text cell in GBK.
void appendText(QByteArray& out, const Table& t, int row, int field, int position)
{
    const CellView c = t.cellAt(row, field);
    bool ok = true;
    switch (c.tag) {
    case CellTag::Null:
        return;
    case CellTag::Text:
        ok = GbkEncoder::instance().appendUtf8(out, c.data, c.size);
        break;
    case CellTag::Int:
        out += QByteArray::number(qlonglong(c.toInt()));
        return;
    case CellTag::Real:
        out += QByteArray::number(c.toReal(), 'g', 17);
        return;
    }
    if (!ok)
        refuseCharacter(position, t.field(field).column.name, c.toText());
}

std::optional<Money> amountOf(const Table& t, int row, int field, int position)
{
    return storedAmount(t, row, field, position, QStringLiteral("未导出任何文件"));
}

void appendMoney(QByteArray& out, Money m)
{
    out += m.toString().toLatin1();
}

// The presented stored rows, after a row still being typed was stored.
std::vector<int> presentedRows(Table& t)
{
    t.checkBrowseMode();
    std::vector<int> rows;
    rows.reserve(size_t(t.rowCount()));
    for (int r = 0; r < t.rowCount(); ++r) {
        if (!t.isNewRow(r))
            rows.push_back(r);
    }
    return rows;
}

} // namespace

std::optional<Money> storedAmount(const Table& t, int row, int field, int position,
                                  const QString& consequence)
{
    const CellView c = t.cellAt(row, field);
    if (c.isNull())
        return std::nullopt;
    if (c.tag == CellTag::Int)
        return Money::fromUnits(c.toInt());
    if (c.tag == CellTag::Text) {
        if (auto m = Money::parse(c.data, c.size))
            return m;
    }
    throw DbError(QStringLiteral("第%1行的金额“%2”不是有效的金额，%3。")
                      .arg(position)
                      .arg(t.textAt(row, field), consequence));
}

int requireField(const Table& t, const QString& name)
{
    const int f = t.fieldIndex(QStringView(name));
    if (f < 0)
        throw DbError(QStringLiteral("数据表“%1”中没有字段“%2”。")
                          .arg(t.tableName(), QStringView(name).toString()));
    return f;
}

QByteArray buildPaymentFile(Table& payments, const QString& payerAccount)
{
    QByteArray payer;
    if (!GbkEncoder::instance().append(payer, payerAccount))
        throw DbError(QStringLiteral("支付帐号“%1”中含有无法用GBK编码写入的字符，未导出任何文件。")
                          .arg(payerAccount));

    const int sameBank = requireField(payments, col::OwnBank);
    const int account = requireField(payments, col::PayeeAccount);
    const int unit = requireField(payments, col::PayeeName);
    const int bank = requireField(payments, col::PayeeBank);
    const int place = requireField(payments, col::PayeePlace);
    const int amount = requireField(payments, col::Amount);
    const int purpose = requireField(payments, col::Purpose);
    const int remark = requireField(payments, col::Remark);
    const int largeValue = requireField(payments, col::Urgent);

    const std::vector<int> rows = presentedRows(payments);
    QByteArray body;
    body.reserve(qsizetype(rows.size()) * 160);
    Money total;
    int position = 0;
    for (int r : rows) {
        ++position;
        body += payer;
        for (int f : {sameBank, account, unit, bank, place}) {
            body += '|';
            appendText(body, payments, r, f, position);
        }
        body += '|';
        if (const auto m = amountOf(payments, r, amount, position)) {
            appendMoney(body, *m);
            const auto sum = total.plus(*m);
            if (!sum)
                throw DbError(
                    QStringLiteral("支付指令的金额合计超出了可表示的范围，未导出任何文件。"));
            total = *sum;
        }
        for (int f : {purpose, remark, largeValue}) {
            body += '|';
            appendText(body, payments, r, f, position);
        }
        body += kCrLf;
    }
    QByteArray file = QByteArray::number(qulonglong(rows.size()));
    file += '|';
    appendMoney(file, total);
    file += kCrLf;
    file += body;
    return file;
}

QList<QByteArray> buildSalaryFiles(Table& salary, int rowsPerFile)
{
    const int number = requireField(salary, col::EmployeeNo);
    const int name = requireField(salary, col::EmployeeName);
    const int card = requireField(salary, col::CardNo);
    const int amount = requireField(salary, col::Amount);

    QByteArray header;
    GbkEncoder::instance().append(header, u"编号,姓名,卡号,实发工资");
    header += kCrLf;

    const std::vector<int> rows = presentedRows(salary);
    const qsizetype count = qsizetype(rows.size());
    const bool split = rowsPerFile >= 1 && count > rowsPerFile;
    const qsizetype perPiece = split ? rowsPerFile : std::max<qsizetype>(count, 1);

    QList<QByteArray> pieces;
    QByteArray current = header;
    int position = 0;
    for (int r : rows) {
        ++position;
        for (int f : {number, name, card}) {
            appendText(current, salary, r, f, position);
            current += ',';
        }
        const auto m = amountOf(salary, r, amount, position);
        appendMoney(current, m.value_or(Money()));
        current += kCrLf;
        if (split && position % perPiece == 0) {
            pieces << current;
            current = header;
        }
    }
    if (!split || current.size() > header.size())
        pieces << current;
    return pieces;
}

QByteArray buildPayeeFile(Table& company)
{
    const int unit = requireField(company, col::PayeeName);
    const int type = requireField(company, col::TypeOfPayee);
    const int bank = requireField(company, col::PayeeBank);
    const int account = requireField(company, col::PayeeAccount);
    const int sameBank = requireField(company, col::OwnBank);
    const int place = requireField(company, col::PayeePlace);
    const int remark = requireField(company, col::Remark);
    const int ownNumber = requireField(company, col::CustomNo);

    const std::vector<int> rows = presentedRows(company);
    QByteArray file;
    int position = 0;
    for (int r : rows) {
        ++position;
        appendText(file, company, r, unit, position);
        file += '|';
        // The classification by its name, as the payee book shows it.
        const QString typeName = company.textAt(r, type);
        if (!GbkEncoder::instance().append(file, typeName))
            refuseCharacter(position, col::Classification, typeName);
        for (int f : {bank, account, sameBank, place, remark, ownNumber}) {
            file += '|';
            appendText(file, company, r, f, position);
        }
        file += kCrLf;
    }
    return file;
}

QStringList pieceNames(const QString& chosenName, int pieces)
{
    QStringList names;
    for (int i = 1; i <= pieces; ++i)
        names << chosenName + QLatin1Char('.') + QString::number(i);
    return names;
}

} // namespace bankprep
