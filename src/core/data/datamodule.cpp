#include "core/data/datamodule.h"

#include "core/data/gbk.h"
#include "core/data/names.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

namespace bankprep {

TDataModule2::TDataModule2(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DataModule2"));
    ATPayment = std::make_unique<Table>(ADOConn, tbl::Payment);
    ATCompany = std::make_unique<Table>(ADOConn, tbl::Company);
    ATSalary = std::make_unique<Table>(ADOConn, tbl::Salary);
    ATDrawee = std::make_unique<Table>(ADOConn, tbl::Drawee);
    ATUser = std::make_unique<Table>(ADOConn, tbl::User);
    ATCompanyType = std::make_unique<Table>(ADOConn, tbl::CompanyType);
    ATUse = std::make_unique<Table>(ADOConn, tbl::Use);
    DataSource1 = new DataSource(ATPayment.get(), QStringLiteral("DataSource1"), this);
    DSCompany = new DataSource(ATCompany.get(), QStringLiteral("DSCompany"), this);
    DSSalary = new DataSource(ATSalary.get(), QStringLiteral("DSSalary"), this);
    DSDrawee = new DataSource(ATDrawee.get(), QStringLiteral("DSDrawee"), this);
    DSCompanyType = new DataSource(ATCompanyType.get(), QStringLiteral("DSCompanyType"), this);
    DSUse = new DataSource(ATUse.get(), QStringLiteral("DSUse"), this);
    ACmd = std::make_unique<Command>(ADOConn);
    declareFields();

    ATPayment->beforeOpen = [this](Table& t) { ATPaymentBeforeOpen(t); };
    ATPayment->onNewRecord = [this](Table& t) { ATPaymentNewRecord(t); };
    ATPayment->beforePost = [this](Table& t) { ATPaymentBeforePost(t); };
    ATPayment->afterPost = [this](Table& t) { ATPaymentAfterPost(t); };
    ATPayment->afterScroll = [this](Table& t) { ATPaymentAfterScroll(t); };
    ATCompanyType->beforeDelete = [this](Table& t) { ATCompanyTypeBeforeDelete(t); };
    ATCompanyType->beforePost = [this](Table& t) { ATCompanyTypeBeforePost(t); };
    ATCompanyType->onPostError = [this](Table& t, const DbError& e) {
        return ATCompanyTypePostError(t, e);
    };
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
    QList<FieldDef> payment = declared(tbl::Payment);
    FieldDef no;
    no.kind = FieldDef::Kind::Calculated;
    no.column.name = col::RowNo;
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
    QList<FieldDef> company = declared(tbl::Company);
    FieldDef type;
    type.kind = FieldDef::Kind::Calculated;
    type.column.name = col::TypeOfPayee;
    type.column.label = QStringLiteral("账号分类");
    type.column.displayWidth = 10;
    type.calculate = [this](const Table& t, int row) -> QVariant {
        const int keyField = t.fieldIndex(col::Classification);
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
    const QVariant name = ATCompanyType->lookup(col::TypeId, typeId, col::TypeName);
    return truncateToGbkBytes(name.toString(), 10);
}

QList<TDataModule2::CompanyTypeEntry> TDataModule2::companyTypeList()
{
    Statement q(ADOConn, QStringLiteral("select * from CompanyType order by type"));
    q.exec();
    QList<CompanyTypeEntry> types;
    while (q.next())
        types.append({q.value(0).toString(), q.value(1).toString()});
    // In the Chinese order the grids sort by (the database's own order is by code).
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    std::stable_sort(types.begin(), types.end(), [&](const auto& a, const auto& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return types;
}

void TDataModule2::clearPayments()
{
    backupBefore(BackupReason::ClearPayments);
    clearUserRows(*ATPayment, QStringLiteral("delete from Payment where 用户编号 = :user"));
}

void TDataModule2::clearSalary()
{
    backupBefore(BackupReason::ClearSalary);
    clearUserRows(*ATSalary, QStringLiteral("delete from salary where 用户编号 = :user"));
}

void TDataModule2::backupBefore(BackupReason reason)
{
    std::unique_ptr<PendingBackup> pending = startBackupBefore(reason, BackupCopy::Now);
    finishBackup(pending);
}

std::unique_ptr<PendingBackup> TDataModule2::startBackupBefore(BackupReason reason, BackupCopy copy)
{
    try {
        return std::make_unique<PendingBackup>(ADOConn, reason, copy);
    } catch (const DbError& e) {
        goOnWithoutBackup(e);
        return nullptr;
    }
}

void TDataModule2::finishBackup(std::unique_ptr<PendingBackup>& pending)
{
    if (!pending)
        return; // the clerk chose to go on without one
    try {
        pending->commit();
    } catch (const DbError& e) {
        pending.reset();
        goOnWithoutBackup(e);
        return;
    }
    pending.reset();
}

void TDataModule2::goOnWithoutBackup(const DbError& e)
{
    const QString text = QStringLiteral("操作前未能备份数据库：%1").arg(e.message());
    if (!m_interaction)
        throw DbError(text + QStringLiteral("操作未执行。"));
    if (!ask(text + QStringLiteral("\n\n是否不备份继续？")))
        throw AbortError();
}

void TDataModule2::dailyBackup()
{
    if (hasBackupOn(m_databasePath, BackupReason::Daily, QDate::currentDate()))
        return;
    takeBackup(ADOConn, BackupReason::Daily);
}

void TDataModule2::restoreFromBackup(const QString& backupPath)
{
    checkBackupFile(backupPath);
    auto tables = {&ATPayment, &ATCompany, &ATSalary, &ATDrawee, &ATUser, &ATCompanyType, &ATUse};
    for (auto* t : tables) {
        if (*t && (*t)->isOpen())
            (*t)->checkBrowseMode();
    }
    backupBefore(BackupReason::BeforeRestore);
    restoreBackup(ADOConn, backupPath);
    // A backup of an older database is brought up to date as opening it would be.
    ATPaymentBeforeOpen(*ATPayment);
    for (auto* t : tables) {
        if (*t && (*t)->isOpen()) {
            (*t)->forgetReadState();
            (*t)->requery();
        }
    }
}

void TDataModule2::clearUserRows(Table& table, const QString& sql)
{
    // An unsaved row of the list being cleared goes with it.
    if (table.isEditing())
        table.cancel();
    ACmd->setCommandText(sql);
    ACmd->execute({CurrentUser});
    table.requery();
}

void TDataModule2::create(const QString& databasePath, bool createIfMissing,
                          const QStringList& only)
{
    CurrentUser.clear();
    ADOConn.open(databasePath, createIfMissing);
    m_databasePath = databasePath;
    // The payment table's update of an older database is made even when the table is
    // not read.
    if (!only.isEmpty() && !only.contains(tbl::Payment))
        ATPaymentBeforeOpen(*ATPayment);
    openTables(only.isEmpty() ? QStringList{tbl::Payment, tbl::Company, tbl::Salary, tbl::Drawee,
                                            tbl::User, tbl::CompanyType, tbl::Use}
                              : only);
    DataModuleCreate();
}

void TDataModule2::openTables(const QStringList& names)
{
    for (Table* t : {ATPayment.get(), ATCompany.get(), ATSalary.get(), ATDrawee.get(), ATUser.get(),
                     ATCompanyType.get(), ATUse.get()}) {
        if (!names.contains(t->tableName()) || t->isOpen())
            continue;
        try {
            t->open();
        } catch (const DbError& e) {
            throw DbError(QStringLiteral("无法打开数据库文件“%1”中的数据表 %2：%3")
                              .arg(m_databasePath, t->tableName(), e.message()));
        }
    }
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

namespace {

// The empty text, stored as such (not as "no value"), so that a filter such as
// 账号分类='' finds what a rule emptied.
const QString kEmpty = QStringLiteral("");

} // namespace

bool TDataModule2::ask(const QString& text)
{
    return m_interaction && m_interaction->askInformation(text);
}

void TDataModule2::notice(const QString& text)
{
    if (m_interaction)
        m_interaction->notice(text);
}

void TDataModule2::ATPaymentNewRecord(Table& t)
{
    t.setValue(col::UserId, CurrentUser);
    t.setValue(col::OwnBank, NoText);
    t.setValue(col::SameCity, YesText);
    t.setValue(col::Purpose, LastUse);
    t.setValue(col::Urgent, NoText);
}

void TDataModule2::ATPaymentBeforePost(Table& t)
{
    t.setValue(col::UserId, CurrentUser);
    const QString sameCity = t.text(col::SameCity);
    const QString sameBank = t.text(col::OwnBank);

    // A same-bank account in another city needs the payee bank.
    if (sameCity == NoText && sameBank == YesText && t.text(col::PayeeBank).isEmpty())
        throw DbError(QStringLiteral("异地溯枫银行必需填写收款银行"), 0);

    if (sameCity == YesText || sameBank == YesText) {
        t.setValue(col::PayeePlace, kEmpty);
    } else if (trimBlanks(t.text(col::PayeePlace)).isEmpty() ||
               trimBlanks(t.text(col::PayeeBank)).isEmpty()) {
        throw DbError(QStringLiteral("非同城交易且非溯枫帐号请输入汇入地点或收款银行"), 0);
    }

    if (sameCity == YesText && sameBank == YesText && t.text(col::PayeeBank).isEmpty())
        t.setValue(col::PayeeBank, QStringLiteral(" "));

    // A same-bank transfer takes no large-value real-time flag.
    if (sameBank == YesText && t.text(col::Urgent) == YesText)
        throw DbError(QStringLiteral("溯枫帐号不需选择大额实时"), 0);
}

void TDataModule2::ATPaymentAfterPost(Table& t)
{
    const QString purpose = t.text(col::Purpose);
    LastUse = purpose;

    // Learn the purpose: whole value, letter case counts; blanks are never learned.
    if (!trimBlanks(purpose).isEmpty() && !ATUse->locate(col::Purpose, {purpose})) {
        ATUse->append();
        ATUse->setValue(col::Purpose, purpose);
        ATUse->post();
    }

    // Offer a payee account the payee book does not hold yet. The whole book is
    // searched, whatever classification filter a view left on it, so an account is
    // never offered twice; an instruction without an account offers nothing.
    const QString account = t.text(col::PayeeAccount);
    if (!trimBlanks(account).isEmpty() &&
        ATCompany->lookup(col::PayeeAccount, account, col::PayeeAccount).isNull()) {
        if (!ask(QStringLiteral("您输入了一个新的账号，是否要将它添加到常用往来账户中？")))
            return;
        ATCompany->append();
        for (const QString& field :
             {col::PayeeAccount, col::PayeeBank, col::PayeeName, col::PayeePlace, col::OwnBank}) {
            const QVariant v = t.value(field);
            ATCompany->setValue(field, v.isNull() || !v.isValid() ? QVariant(kEmpty) : v);
        }
        ATCompany->setValue(col::Classification, kEmpty); // unclassified
        ATCompany->post();
    }

    if (m_paymentButtons)
        m_paymentButtons->setNextEnabled(!t.eof());
}

void TDataModule2::ATPaymentAfterScroll(Table& t)
{
    if (m_paymentButtons)
        m_paymentButtons->setPreviousEnabled(!t.bof());
    // Reaching the end of the list starts the next instruction.
    if (t.eof() && t.state() != Table::State::Insert)
        t.append();
}

void TDataModule2::ATCompanyTypeBeforeDelete(Table& t)
{
    const Bookmark mark = t.bookmark();
    const QString oldType = t.text(col::TypeId);
    QString newType = kEmpty; // unclassified, unless the accounts move
    if (ask(QStringLiteral("您正要删除一个账户分类，是否要将该分类的账户转移到其它分类中？"))) {
        for (;;) {
            const int result = m_interaction ? m_interaction->pickCompanyType() : 2;
            // Confirmed on an empty list there is nothing to move the accounts to.
            if (result != 1 || t.currentRow() < 0 || t.isNewRow(t.currentRow())) {
                t.gotoBookmark(mark);
                throw AbortError();
            }
            const QString chosen = t.text(col::TypeId);
            if (chosen == oldType) {
                notice(QStringLiteral("请选择要转移到的其它分类"));
                continue;
            }
            newType = chosen;
            break;
        }
    }
    t.gotoBookmark(mark);
    backupBefore(BackupReason::DeleteClassification);
    try {
        Statement move(
            ADOConn,
            QStringLiteral("update Company set 账号分类=:newtype where 账号分类=:oldtype"));
        move.bind(0, newType);
        move.bind(1, oldType);
        move.exec();
    } catch (const DbError&) {
        notice(QStringLiteral("数据库操作失败！"));
        throw AbortError();
    }
}

void TDataModule2::ATCompanyTypeBeforePost(Table& t)
{
    // To a clerk "VIP" and "vip" are one classification: refused like the database
    // refuses the same name twice.
    const QString name = t.text(col::TypeName);
    const int f = t.fieldIndex(col::TypeName);
    const qint64 self = t.keyAt(t.currentRow());
    for (int r = 0; r < t.rowCount(); ++r) {
        if (t.isNewRow(r) || t.keyAt(r) == self)
            continue;
        if (t.textAt(r, f).compare(name, Qt::CaseInsensitive) == 0) {
            notice(QStringLiteral("出错信息：该分类已存在"));
            throw AbortError();
        }
    }
}

Table::PostErrorAction TDataModule2::ATCompanyTypePostError(Table&, const DbError& error)
{
    const QString reason = error.message().contains(QStringLiteral("重复的值"))
                               ? QStringLiteral("该分类已存在")
                               : error.message();
    notice(QStringLiteral("出错信息：") + reason);
    return Table::PostErrorAction::Abort;
}

void TDataModule2::ATDraweeBeforePost(Table& table)
{
    // A payroll line or payer account belongs to the user who stores it.
    table.setValue(col::UserId, CurrentUser);
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
