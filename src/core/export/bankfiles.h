#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "core/data/money.h"
#include "core/export/filewriter.h"

namespace bankprep {

class Table;

// The files the bank's online-banking client uploads, built whole in memory, byte for
// byte: GBK without byte-order mark, CR LF after every line, values unquoted and
// untrimmed, amounts in their shortest exact decimal form. A value without a GBK form
// is refused (DbError naming the row and the column) before anything is written.
// Each builder passes over the rows the table presents, in their order, without moving
// its cursor; a row still being typed is stored first.

// Payment instructions: "count|total", then per instruction the payer account and nine
// fields separated by "|".
QByteArray buildPaymentFile(Table& payments, const QString& payerAccount);

// The payroll list: header "编号,姓名,卡号,实发工资", then one line per row. With
// rowsPerFile >= 1 and more rows than that, several pieces of at most rowsPerFile rows,
// each with the header; otherwise one file.
QList<QByteArray> buildSalaryFiles(Table& salary, int rowsPerFile);

// The payee book: eight fields separated by "|", no header.
QByteArray buildPayeeFile(Table& company);

// An amount cell of the row at `position` (from 1): its exact value, or nothing for NULL.
// A cell that is not a stored amount (written into the file by another program) is
// refused, never guessed: "第3行的金额“abc”不是有效的金额，<consequence>。"
std::optional<Money> storedAmount(const Table& t, int row, int field, int position,
                                  const QString& consequence);

// The field's index; a table without it is refused.
int requireField(const Table& t, const QString& name);

// The names of the pieces of a split payroll list: name.1, name.2, ...
QStringList pieceNames(const QString& chosenName, int pieces);

} // namespace bankprep
