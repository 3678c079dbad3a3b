#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace bankprep {

enum class ColumnKind
{
    Text,    // wide text of at most `width` characters (0: no limit)
    Key,     // auto-number integer key, read-only
    Money,   // exact amount, stored as an integer count of ten-thousandths
    Integer, // plain integer
};

struct ColumnDef
{
    QString name;
    ColumnKind kind = ColumnKind::Text;
    int width = 0;         // characters; 0 means unlimited
    QString defaultValue;  // SQL default of the column, empty for none
    QString label;         // column title where the field shows itself (empty: the name)
    int displayWidth = 10; // in characters
    bool visible = true;
};

struct TableDef
{
    QString name;
    QList<ColumnDef> columns;

    const ColumnDef* column(QStringView columnName) const;
    QString createSql() const;
};

// The seven tables of the database, in the order the data module opens them.
const QList<TableDef>& databaseTables();
const TableDef* findTableDef(QStringView tableName);

// Name of the CHECK constraint that enforces a text column's width, and the way back.
QString widthConstraintName(const QString& table, const QString& column);
const ColumnDef* columnForWidthConstraint(QStringView constraintName, QString* tableName = nullptr);

// The message shown when a text is longer than its column allows.
QString tooLongMessage(const ColumnDef& column);

// An identifier quoted for SQL ("收款帐号").
QString quoteIdentifier(const QString& identifier);

// The blanks the program trims wherever it trims a text (the bank's rules, the text
// imports): control characters and spaces (code 32 or less), the no-break space and the
// ideographic (full-width) space U+3000 that Chinese input methods type. A text made
// only of them counts as empty.
inline bool isBlank(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x00A0 || c.unicode() == 0x3000;
}

// The text without the blanks (isBlank) at either end; the one trimming the rules and the
// imports use.
inline QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.sliced(b, e - b);
}

// Number of characters as the database counts them (code points).
qsizetype characterCount(QStringView text);

} // namespace bankprep
