#include "core/import/importprofile.h"

#include "core/data/connection.h"
#include "core/data/dberror.h"

#include <QJsonDocument>

namespace bankprep {

namespace {

const char* const kCreateProfiles = "CREATE TABLE IF NOT EXISTS \"ImportProfile\" ("
                                    "\"编号\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "\"类型\" TEXT NOT NULL, "
                                    "\"名称\" TEXT NOT NULL, "
                                    "\"设置\" TEXT NOT NULL, "
                                    "\"上次使用\" INTEGER NOT NULL DEFAULT 0, "
                                    "UNIQUE (\"类型\", \"名称\"))";

// The payroll mapping of the last import is kept under this name, never listed.
const QString kLastMapping = QStringLiteral("");

bool profilesExist(Connection& conn)
{
    return conn.tableNames().contains(QStringLiteral("ImportProfile"));
}

void ensureProfiles(Connection& conn)
{
    conn.exec(QString::fromUtf8(kCreateProfiles));
}

void store(Connection& conn, ImportKind kind, const QString& name, const QJsonObject& settings)
{
    ensureProfiles(conn);
    Statement q(conn, QStringLiteral("INSERT INTO \"ImportProfile\" (\"类型\", \"名称\", \"设置\") "
                                     "VALUES (?, ?, ?) ON CONFLICT (\"类型\", \"名称\") DO "
                                     "UPDATE SET \"设置\" = excluded.\"设置\""));
    q.addBind(importKindCode(kind));
    q.addBind(name);
    q.addBind(QString::fromUtf8(QJsonDocument(settings).toJson(QJsonDocument::Compact)));
    q.exec();
}

std::optional<QJsonObject> load(Connection& conn, ImportKind kind, const QString& name)
{
    if (!profilesExist(conn))
        return std::nullopt;
    Statement q(conn, QStringLiteral("SELECT \"设置\" FROM \"ImportProfile\" WHERE \"类型\" = ? "
                                     "AND \"名称\" = ?"));
    q.addBind(importKindCode(kind));
    q.addBind(name);
    q.exec();
    if (!q.next())
        return std::nullopt;
    return QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
}

struct ColumnKey
{
    const char* key;
    ImportField field;
};

const QList<ColumnKey>& keysOf(ImportKind kind)
{
    static const QList<ColumnKey> payments = {
        {"sfb", ImportField::OwnBank},     {"skzh", ImportField::PayeeAccount},
        {"skdw", ImportField::PayeeName},  {"skyh", ImportField::PayeeBank},
        {"hrdd", ImportField::PayeePlace}, {"je", ImportField::Amount},
        {"dess", ImportField::Urgent},     {"yt", ImportField::Purpose},
        {"bz", ImportField::Remark},
    };
    static const QList<ColumnKey> payees = {
        {"account", ImportField::PayeeAccount}, {"unit", ImportField::PayeeName},
        {"bank", ImportField::PayeeBank},       {"place", ImportField::PayeePlace},
        {"memo", ImportField::Remark},          {"type", ImportField::Classification},
        {"sf", ImportField::OwnBank},           {"no", ImportField::CustomNo},
    };
    static const QList<ColumnKey> none;
    return kind == ImportKind::Payments ? payments : kind == ImportKind::Payees ? payees : none;
}

} // namespace

QStringList profileNames(Connection& conn, ImportKind kind)
{
    QStringList names;
    if (!profilesExist(conn))
        return names;
    Statement q(conn, QStringLiteral("SELECT \"名称\" FROM \"ImportProfile\" WHERE \"类型\" = ? "
                                     "AND \"名称\" <> '' ORDER BY \"编号\""));
    q.addBind(importKindCode(kind));
    q.exec();
    while (q.next())
        names << q.value(0).toString();
    return names;
}

std::optional<QJsonObject> loadProfile(Connection& conn, ImportKind kind, const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    return load(conn, kind, name);
}

void saveProfile(Connection& conn, ImportKind kind, const QString& name,
                 const QJsonObject& settings)
{
    if (name.trimmed().isEmpty())
        throw DbError(QStringLiteral("请输入方案名称。"));
    store(conn, kind, name.trimmed(), settings);
}

void deleteProfile(Connection& conn, ImportKind kind, const QString& name)
{
    if (!profilesExist(conn) || name.isEmpty())
        return;
    Statement q(conn, QStringLiteral("DELETE FROM \"ImportProfile\" WHERE \"类型\" = ? AND "
                                     "\"名称\" = ?"));
    q.addBind(importKindCode(kind));
    q.addBind(name);
    q.exec();
}

QString lastProfile(Connection& conn, ImportKind kind)
{
    if (!profilesExist(conn))
        return QString();
    Statement q(conn, QStringLiteral("SELECT \"名称\" FROM \"ImportProfile\" WHERE \"类型\" = ? "
                                     "AND \"上次使用\" = 1 AND \"名称\" <> ''"));
    q.addBind(importKindCode(kind));
    q.exec();
    return q.next() ? q.value(0).toString() : QString();
}

void setLastProfile(Connection& conn, ImportKind kind, const QString& name)
{
    if (!profilesExist(conn))
        return;
    Statement q(conn, QStringLiteral("UPDATE \"ImportProfile\" SET \"上次使用\" = (\"名称\" = ? "
                                     "AND \"名称\" <> '') WHERE \"类型\" = ?"));
    q.addBind(name);
    q.addBind(importKindCode(kind));
    q.exec();
}

DbError noSuchProfile(const QString& name)
{
    return DbError(QStringLiteral("没有名为“%1”的导入方案。").arg(name));
}

std::optional<ImportField> columnFromKey(ImportKind kind, QStringView key)
{
    for (const ColumnKey& k : keysOf(kind)) {
        if (key == QLatin1String(k.key))
            return k.field;
    }
    return std::nullopt;
}

QStringList columnKeys(ImportKind kind)
{
    QStringList out;
    for (const ColumnKey& k : keysOf(kind))
        out << QLatin1String(k.key);
    return out;
}

QJsonObject textProfile(const ImportForm& form, ImportKind kind)
{
    QJsonObject columns;
    for (const ColumnKey& k : keysOf(kind)) {
        if (form.columnTexts.contains(k.field))
            columns.insert(QLatin1String(k.key), form.columnTexts.value(k.field));
    }
    return QJsonObject{
        {QStringLiteral("separator"), form.separatorText},
        {QStringLiteral("start"), form.startText},
        {QStringLiteral("yesno"), form.yesNoText},
        {QStringLiteral("encoding"), encodingCode(form.encoding)},
        {QStringLiteral("columns"), columns},
    };
}

void applyTextProfile(const QJsonObject& profile, ImportKind kind, ImportForm& form)
{
    const auto text = [&](const char* key, QString& target) {
        const QJsonValue v = profile.value(QLatin1String(key));
        if (v.isString())
            target = v.toString();
    };
    text("separator", form.separatorText);
    text("start", form.startText);
    text("yesno", form.yesNoText);
    if (const auto e = encodingFromCode(profile.value(QLatin1String("encoding")).toString()))
        form.encoding = *e;
    const QJsonObject columns = profile.value(QLatin1String("columns")).toObject();
    for (const ColumnKey& k : keysOf(kind)) {
        const QJsonValue v = columns.value(QLatin1String(k.key));
        if (v.isString())
            form.columnTexts.insert(k.field, v.toString());
    }
}

QJsonObject salaryProfile(const SalaryTitles& t)
{
    return QJsonObject{{QStringLiteral("编号"), t.number},
                       {QStringLiteral("姓名"), t.name},
                       {QStringLiteral("卡号"), t.card},
                       {QStringLiteral("实发工资"), t.amount}};
}

SalaryTitles salaryTitlesFrom(const QJsonObject& p)
{
    return {p.value(QStringLiteral("编号")).toString(), p.value(QStringLiteral("姓名")).toString(),
            p.value(QStringLiteral("卡号")).toString(),
            p.value(QStringLiteral("实发工资")).toString()};
}

int columnOfTitle(const QStringList& titles, const QString& title)
{
    if (title.isEmpty())
        return 0;
    qsizetype at = titles.indexOf(title);
    if (at < 0) {
        // A title typed with other blanks around it is the same title.
        const QString wanted = title.trimmed();
        for (qsizetype i = 0; i < titles.size() && at < 0; ++i) {
            if (titles.at(i).trimmed() == wanted)
                at = i;
        }
    }
    return int(at) + 1;
}

std::optional<SalaryTitles> lastSalaryMapping(Connection& conn)
{
    const auto p = load(conn, ImportKind::Salary, kLastMapping);
    if (!p)
        return std::nullopt;
    return salaryTitlesFrom(*p);
}

void rememberSalaryMapping(Connection& conn, const SalaryTitles& titles)
{
    store(conn, ImportKind::Salary, kLastMapping, salaryProfile(titles));
}

} // namespace bankprep
