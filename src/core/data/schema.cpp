#include "core/data/schema.h"

namespace bankprep {

namespace {

ColumnDef text(const char* name, int width, int displayWidth, bool visible = true,
               const char* label = nullptr)
{
    ColumnDef c;
    c.name = QString::fromUtf8(name);
    c.kind = ColumnKind::Text;
    c.width = width;
    c.displayWidth = displayWidth;
    c.visible = visible;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

ColumnDef key(const char* name, int displayWidth, const char* label = nullptr, bool visible = false)
{
    ColumnDef c;
    c.name = QString::fromUtf8(name);
    c.kind = ColumnKind::Key;
    c.displayWidth = displayWidth;
    c.visible = visible;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

ColumnDef money(const char* name, int displayWidth, const char* label = nullptr)
{
    ColumnDef c;
    c.name = QString::fromUtf8(name);
    c.kind = ColumnKind::Money;
    c.displayWidth = displayWidth;
    if (label)
        c.label = QString::fromUtf8(label);
    return c;
}

QList<TableDef> buildTables()
{
    QList<TableDef> t;

    TableDef payment{QStringLiteral("Payment"), {}};
    payment.columns = {
        text("同城交易", 1, 1),   text("收款帐号", 50, 10),       text("溯枫帐号", 1, 1),
        text("收款单位", 50, 10), text("收款银行", 50, 10),       text("汇入地点", 50, 10),
        money("金额", 8),         text("大额实时", 1, 1),         text("用途", 50, 20),
        text("备注", 100, 20),    text("用户编号", 50, 5, false), key("编号", 10),
    };
    payment.columns[7].defaultValue = QStringLiteral("'否'");
    t << payment;

    TableDef company{QStringLiteral("Company"), {}};
    company.columns = {
        text("收款帐号", 50, 20),
        text("收款单位", 50, 20),
        text("备注", 20, 10),
        text("溯枫帐号", 1, 1, false),
        text("收款银行", 50, 10, false),
        text("汇入地点", 50, 10, false),
        key("编号", 10),
        text("账号分类", 10, 10, false),
        text("自定编号", 50, 20),
    };
    t << company;

    TableDef salary{QStringLiteral("Salary"), {}};
    salary.columns = {
        text("员工编号", 10, 10),      text("姓名", 10, 10), text("卡号", 30, 20),
        money("金额", 20, "实发工资"), key("编号", 10),      text("用户编号", 50, 10, false),
    };
    t << salary;

    TableDef drawee{QStringLiteral("Drawee"), {}};
    drawee.columns = {text("付款帐号", 0, 50), text("用户编号", 0, 10, false)};
    t << drawee;

    TableDef user{QStringLiteral("User"), {}};
    user.columns = {text("用户编号", 0, 10), text("密码", 0, 10)};
    t << user;

    TableDef companyType{QStringLiteral("CompanyType"), {}};
    companyType.columns = {key("type_id", 6, "编号", true), text("type", 50, 18, true, "类型")};
    t << companyType;

    TableDef use{QStringLiteral("Use"), {}};
    use.columns = {text("用途", 0, 20)};
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
        if (name == QLatin1String("CompanyType") && c.name == QLatin1String("type"))
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
