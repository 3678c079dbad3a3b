#include "datamodule.h"

#include "gbk.h"

namespace bankprep {

TDataModule2::TDataModule2(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DataModule2"));
    ATPayment = std::make_unique<Table>(ADOConn, QStringLiteral("Payment"));
    ATCompany = std::make_unique<Table>(ADOConn, QStringLiteral("Company"));
    ATSalary = std::make_unique<Table>(ADOConn, QStringLiteral("Salary"));
    ATDrawee = std::make_unique<Table>(ADOConn, QStringLiteral("Drawee"));
    ATUser = std::make_unique<Table>(ADOConn, QStringLiteral("User"));
    ATCompanyType = std::make_unique<Table>(ADOConn, QStringLiteral("CompanyType"));
    ATUse = std::make_unique<Table>(ADOConn, QStringLiteral("Use"));
    DataSource1 = new DataSource(ATPayment.get(), QStringLiteral("DataSource1"), this);
    DSCompany = new DataSource(ATCompany.get(), QStringLiteral("DSCompany"), this);
    DSSalary = new DataSource(ATSalary.get(), QStringLiteral("DSSalary"), this);
    DSDrawee = new DataSource(ATDrawee.get(), QStringLiteral("DSDrawee"), this);
    DSCompanyType = new DataSource(ATCompanyType.get(), QStringLiteral("DSCompanyType"), this);
    DSUse = new DataSource(ATUse.get(), QStringLiteral("DSUse"), this);
    ACmd = std::make_unique<Command>(ADOConn);
    declareFields();

    ATPayment->beforeOpen = [this](Table& t) { ATPaymentBeforeOpen(t); };
    ATSalary->beforePost = [this](Table& t) { ATDraweeBeforePost(t); };
    ATDrawee->beforePost = [this](Table& t) { ATDraweeBeforePost(t); };
    // These four are defined with their filter switched on.
    ATPayment->setFiltered(true);
    ATCompany->setFiltered(true);
    ATSalary->setFiltered(true);
    ATDrawee->setFiltered(true);
}

TDataModule2::~TDataModule2()
{
    // Tables go before the connection they read from.
    for (auto* t :
         {&ATPayment, &ATCompany, &ATSalary, &ATDrawee, &ATUser, &ATCompanyType, &ATUse}) {
        if (*t && (*t)->isOpen()) {
            try {
                (*t)->close();
            } catch (...) {
                // A row that cannot be stored at exit is dropped; nothing else can be done.
            }
        }
        t->reset();
    }
}

void TDataModule2::declareFields()
{
    auto declared = [](const QString& table) {
        QList<FieldDef> fields;
        for (const ColumnDef& c : findTableDef(table)->columns) {
            FieldDef f;
            f.column = c;
            fields << f;
        }
        return fields;
    };

    // Payment: the row number comes first.
    QList<FieldDef> payment = declared(QStringLiteral("Payment"));
    FieldDef no;
    no.kind = FieldDef::Kind::Calculated;
    no.column.name = QStringLiteral("no");
    no.column.kind = ColumnKind::Integer;
    no.column.label = QStringLiteral("序号");
    no.column.displayWidth = 5;
    no.calculate = [](const Table& t, int row) -> QVariant {
        const int pos = t.positionOf(row);
        return pos < 0 ? 1 : pos + 1;
    };
    payment.prepend(no);
    ATPayment->setFields(payment);

    // Company: the classification's name follows the account.
    QList<FieldDef> company = declared(QStringLiteral("Company"));
    FieldDef type;
    type.kind = FieldDef::Kind::Calculated;
    type.column.name = QStringLiteral("CompanyType");
    type.column.label = QStringLiteral("账号分类");
    type.column.displayWidth = 10;
    type.calculate = [this](const Table& t, int row) -> QVariant {
        const int keyField = t.fieldIndex(u"账号分类");
        const QString key = row < 0 ? QString() : t.textAt(row, keyField);
        return companyTypeName(key);
    };
    company.insert(1, type);
    ATCompany->setFields(company);
}

QString TDataModule2::companyTypeName(const QString& typeId) const
{
    if (typeId.isEmpty() || !ATCompanyType->isOpen())
        return QString();
    const QVariant name = ATCompanyType->lookup(u"type_id", typeId, u"type");
    return truncateToGbkBytes(name.toString(), 10);
}

void TDataModule2::create(const QString& databasePath)
{
    CurrentUser.clear();
    ADOConn.open(databasePath);
    for (Table* t : {ATPayment.get(), ATCompany.get(), ATSalary.get(), ATDrawee.get(), ATUser.get(),
                     ATCompanyType.get(), ATUse.get()}) {
        try {
            t->open();
        } catch (const DbError& e) {
            throw DbError(QStringLiteral("无法打开数据库文件“%1”中的数据表 %2：%3")
                              .arg(databasePath, t->tableName(), e.message()));
        }
    }
    DataModuleCreate();
}

void TDataModule2::ATPaymentBeforeOpen(Table&)
{
    // Older databases lack the large-value real-time flag: add it, every existing
    // instruction getting "否". On a database that has it the first statement fails,
    // and nothing else happens.
    try {
        Statement alter(
            ADOConn, QStringLiteral("alter table Payment add column 大额实时 char(1) default 否"));
        alter.exec();
        Statement update(ADOConn, QStringLiteral("update  payment set 大额实时='否'"));
        update.exec();
    } catch (const DbError&) {
        // Dropped without a message; the table's opening tells if the column is missing.
    }
}

void TDataModule2::ATDraweeBeforePost(Table& table)
{
    // A payroll line or payer account belongs to the user who stores it.
    table.setValue(u"用户编号", CurrentUser);
}

void TDataModule2::DataModuleCreate()
{
    CurrentUser = QStringLiteral("0");
    ATPayment->setFilterText(QStringLiteral("用户编号 = 0"));
    ATSalary->setFilterText(QStringLiteral("用户编号 = 0"));
    ATDrawee->setFilterText(QStringLiteral("用户编号 = 0"));
    ATCompany->setFilterText(QStringLiteral("收款帐号 = 0"));
}

} // namespace bankprep
