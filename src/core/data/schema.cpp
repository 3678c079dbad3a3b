#include "core/data/schema.h"
#include "core/data/names.h"

namespace bankprep {

namespace {

ColumnDef text(const QString& name, int width, int displayWidth, bool visible = true,
               const char* label = nullptr)
{
    ColumnDef c;
    c.name = name;
    c.kind = ColumnKind::Text;
    c.width = width;
    c.displayWidth = displayWidth;
    c.visible = visible;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

ColumnDef key(const QString& name, int displayWidth, const char* label = nullptr,
              bool visible = false)
{
    ColumnDef c;
    c.name = name;
    c.kind = ColumnKind::Key;
    c.displayWidth = displayWidth;
    c.visible = visible;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

ColumnDef money(const QString& name, int displayWidth, const char* label = nullptr)
{
    ColumnDef c;
    c.name = name;
    c.kind = ColumnKind::Money;
    c.displayWidth = displayWidth;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

QList<TableDef> buildTables()
{
    QList<TableDef> t;

    TableDef payment{tbl::Payment, {}};
    payment.columns = {
        text(col::SameCity, 1, 1),       text(col::PayeeAccount, 50, 10),
        text(col::OwnBank, 1, 1),        text(col::PayeeName, 50, 10),
        text(col::PayeeBank, 50, 10),    text(col::PayeePlace, 50, 10),
        money(col::Amount, 8),           text(col::Urgent, 1, 1),
        text(col::Purpose, 50, 20),      text(col::Remark, 100, 20),
        text(col::UserId, 50, 5, false), key(col::Id, 10),
    };
    payment.columns[7].defaultValue = QStringLiteral("'否'");
    t << payment;

    TableDef company{tbl::Company, {}};
    company.columns = {
        text(col::PayeeAccount, 50, 20),
        text(col::PayeeName, 50, 20),
        text(col::Remark, 20, 10),
        text(col::OwnBank, 1, 1, false),
        text(col::PayeeBank, 50, 10, false),
        text(col::PayeePlace, 50, 10, false),
        key(col::Id, 10),
        text(col::Classification, 10, 10, false),
        text(col::CustomNo, 50, 20),
    };
    t << company;

    TableDef salary{tbl::Salary, {}};
    salary.columns = {
        text(col::EmployeeNo, 10, 10),
        text(col::EmployeeName, 10, 10),
        text(col::CardNo, 30, 20),
        money(col::Amount, 20, "实发工资"),
        key(col::Id, 10),
        text(col::UserId, 50, 10, false),
    };
    t << salary;

    TableDef drawee{tbl::Drawee, {}};
    drawee.columns = {text(col::PayerAccount, 0, 50), text(col::UserId, 0, 10, false)};
    t << drawee;

    TableDef user{tbl::User, {}};
    user.columns = {text(col::UserId, 0, 10), text(col::Password, 0, 10)};
    t << user;

    TableDef companyType{tbl::CompanyType, {}};
    companyType.columns = {key(col::TypeId, 6, "编号", true),
                           text(col::TypeName, 50, 18, true, "类型")};
    t << companyType;

    TableDef use{tbl::Use, {}};
    use.columns = {text(col::Purpose, 0, 20)};
    t << use;

    return t;
}

QString quoted(const QString& identifier)
{
    return quoteIdentifier(identifier);
}

} // namespace

QString quoteIdentifier(const QString& identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

const QList<TableDef>& databaseTables()
{
    static const QList<TableDef> tables = buildTables();
    return tables;
}

const TableDef* findTableDef(QStringView tableName)
{
    for (const TableDef& t : databaseTables()) {
        if (t.name.compare(tableName, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

const ColumnDef* TableDef::column(QStringView columnName) const
{
    for (const ColumnDef& c : columns) {
        if (c.name.compare(columnName, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QString TableDef::createSql() const
{
    QStringList parts;
    for (const ColumnDef& c : columns) {
        QString def = quoted(c.name);
        switch (c.kind) {
        case ColumnKind::Key:
            def += QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");
            break;
        case ColumnKind::Money:
            // An amount is an exact integer count of ten-thousandths of a yuan;
            // anything else (a real, a text) is refused.
            def += QStringLiteral(" INTEGER CHECK(typeof(%1) IN ('integer','null'))")
                       .arg(quoted(c.name));
            break;
        case ColumnKind::Integer:
            def += QStringLiteral(" INTEGER");
            break;
        case ColumnKind::Text:
            if (c.width == 1)
                def += QStringLiteral(" CHAR(1)");
            else if (c.width > 0)
                def += QStringLiteral(" NVARCHAR(%1)").arg(c.width);
            else
                def += QStringLiteral(" TEXT");
            if (!c.defaultValue.isEmpty())
                def += QStringLiteral(" DEFAULT ") + c.defaultValue;
            if (c.width > 0) {
                def += QStringLiteral(" CONSTRAINT %1 CHECK(length(%2) <= %3)")
                           .arg(quoted(widthConstraintName(name, c.name)), quoted(c.name))
                           .arg(c.width);
            }
            break;
        }
        if (name == tbl::CompanyType && c.name == col::TypeName)
            def += QStringLiteral(" UNIQUE");
        parts << def;
    }
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)")
        .arg(quoted(name), parts.join(QStringLiteral(",\n  ")));
}

QString widthConstraintName(const QString& table, const QString& column)
{
    return QStringLiteral("width:") + table + QLatin1Char('.') + column;
}

const ColumnDef* columnForWidthConstraint(QStringView constraintName, QString* tableName)
{
    if (!constraintName.startsWith(QLatin1String("width:")))
        return nullptr;
    const QStringView rest = constraintName.mid(6);
    const qsizetype dot = rest.indexOf(QLatin1Char('.'));
    if (dot <= 0)
        return nullptr;
    const TableDef* table = findTableDef(rest.left(dot));
    if (!table)
        return nullptr;
    if (tableName)
        *tableName = table->name;
    return table->column(rest.mid(dot + 1));
}

QString tooLongMessage(const ColumnDef& column)
{
    return QStringLiteral("“%1”的内容超出长度（最多%2个字符），未能保存。")
        .arg(column.name)
        .arg(column.width);
}

qsizetype characterCount(QStringView text)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isLowSurrogate())
            ++n;
    }
    return n;
}

} // namespace bankprep
