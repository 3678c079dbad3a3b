// The main window's payee lookups: the account and name dialogs of the payment grid,
// the purpose drop-down and the payee book's classification drop-down.
#include "controls/dbgrid.h"
#include "controls/lookupdlg.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"
#include "windows/mainwindow.h"

#include <QLineEdit>

namespace bankprep {

namespace {

// Gives a grid column a lookup button or a drop-down; `editField` is the field the
// drop-down stores when it is not the one the column shows.
void setEditor(TableModel* model, int column, GridColumn::Editor editor,
               const QString& editField = {})
{
    auto& c = const_cast<GridColumn&>(model->column(column));
    c.editor = editor;
    c.editField = editField;
}

} // namespace

void TAppForm::buildLookups()
{
    buildLookupDialogs();
    buildPaymentCellEditors();
    buildClassificationDropDown();
}

// The two dialogs of the payment grid's lookup cells, over the payee book.
void TAppForm::buildLookupDialogs()
{
    auto column = [](const QString& field, int width, const char* title) {
        return GridColumn(field, width, QString::fromUtf8(title));
    };
    LookupDlgAccount = new TLookupDlg(
        m_dm.DSCompany, QStringLiteral("选择收款账号"), col::PayeeAccount,
        {column(col::PayeeAccount, 20, "收款帐号"), column(col::TypeOfPayee, 10, "账号分类"),
         column(col::PayeeName, 20, "收款单位"), column(col::Remark, 10, "备注")},
        this);
    LookupDlgAccount->setObjectName(QStringLiteral("LookupDlgAccount"));
    LookupDlgName = new TLookupDlg(
        m_dm.DSCompany, QStringLiteral("Lookup"), col::PayeeName,
        {column(col::PayeeName, 20, "收款单位"), column(col::TypeOfPayee, 10, "账号分类"),
         column(col::PayeeAccount, 20, "收款帐号"), column(col::Remark, 10, "备注")},
        this);
    LookupDlgName->setObjectName(QStringLiteral("LookupDlgName"));
    for (TLookupDlg* dlg : {LookupDlgAccount, LookupDlgName}) {
        connect(dlg, &TLookupDlg::userButton1Clicked, this,
                [this] { LookupDlgAccountUserButton1Click(); });
        connect(dlg, &TLookupDlg::userButton2Clicked, this,
                [this] { LookupDlgAccountUserButton2Click(); });
    }
}

// Cell editors of the payment grid: the payee lookups and the purpose drop-down.
void TAppForm::buildPaymentCellEditors()
{
    TableModel* payment = DBGridPayment->tableModel();
    const int account = payment->columnOfField(col::PayeeAccount);
    const int name = payment->columnOfField(col::PayeeName);
    const int purpose = payment->columnOfField(col::Purpose);
    setEditor(payment, account, GridColumn::Editor::Lookup);
    setEditor(payment, name, GridColumn::Editor::Lookup);
    setEditor(payment, purpose, GridColumn::Editor::Combo);
    const_cast<GridColumn&>(payment->column(purpose)).comboTitles = {QStringLiteral("用途")};
    DBGridPayment->comboItems = [this](int) {
        QList<LookupCombo::Row> items;
        Table& use = *m_dm.ATUse;
        const int f = use.fieldIndex(col::Purpose);
        for (int r = 0; use.isOpen() && r < use.rowCount(); ++r) {
            if (!use.isNewRow(r))
                items.append({{use.textAt(r, f)}, use.textAt(r, f)});
        }
        return items;
    };
    connect(DBGridPayment, &DBGrid::lookupRequested, this,
            [this, account](int column) { runPaymentLookup(column == account); });
}

// The classification drop-down of the payee book: the classifications by number and
// name, searched by the name as the clerk types; it stores the classification's id,
// and the clear key empties it.
void TAppForm::buildClassificationDropDown()
{
    TableModel* company = DBGridCompany->tableModel();
    const int typeColumn = company->columnOfField(col::TypeOfPayee);
    setEditor(company, typeColumn, GridColumn::Editor::Combo, col::Classification);
    auto& typeCol = const_cast<GridColumn&>(company->column(typeColumn));
    typeCol.comboTitles = {QStringLiteral("编号"), QStringLiteral("类型")};
    typeCol.comboSearchColumn = 1;
    typeCol.comboClearable = true;
    DBGridCompany->comboItems = [this](int) {
        QList<LookupCombo::Row> items;
        Table& types = *m_dm.ATCompanyType;
        const int id = types.fieldIndex(col::TypeId);
        const int type = types.fieldIndex(col::TypeName);
        for (int r = 0; types.isOpen() && r < types.rowCount(); ++r) {
            if (!types.isNewRow(r))
                items.append({{types.textAt(r, id), types.textAt(r, type)}, types.textAt(r, id)});
        }
        return items;
    };
}

void TAppForm::runPaymentLookup(bool byAccount)
{
    TLookupDlg* dlg = byAccount ? LookupDlgAccount : LookupDlgName;
    Table& company = *m_dm.ATCompany;
    dlg->SearchEdit->clear();
    const int result = Modal::exec(dlg);
    // The confirmed row's values are taken before the filter goes off and moves the
    // payee book's current row.
    const bool modified =
        result == 1 && company.currentRow() >= 0 && !company.isNewRow(company.currentRow());
    QMap<QString, QString> values;
    if (modified) {
        for (const QString& f :
             {col::PayeeAccount, col::PayeeName, col::PayeeBank, col::PayeePlace, col::OwnBank})
            values.insert(f, company.text(f));
    }
    LookupDlgAccountCloseDialog();
    // The editor writes the key, then the close-up copies the payee's details.
    if (modified) {
        const QString key = dlg->keyField();
        const bool ok = guarded(this, [&] { m_dm.ATPayment->editValue(key, values.value(key)); });
        if (!ok)
            return;
    }
    if (byAccount)
        LookupDlgAccountCloseUp(modified, values);
    else
        LookupDlgNameCloseUp(modified, values);
}

void TAppForm::copyChosenPayee(const QMap<QString, QString>& values, const QStringList& fields)
{
    guarded(this, [&] {
        Table& payment = *m_dm.ATPayment;
        for (const QString& f : fields)
            payment.setValue(f, values.value(f)); // an empty value empties the field
    });
}

void TAppForm::LookupDlgAccountCloseUp(bool modified, const QMap<QString, QString>& chosen)
{
    if (!modified)
        return; // cancelled: the instruction is unchanged
    copyChosenPayee(chosen, {col::PayeeBank, col::PayeeName, col::PayeePlace, col::OwnBank});
}

void TAppForm::LookupDlgNameCloseUp(bool modified, const QMap<QString, QString>& chosen)
{
    if (!modified)
        return;
    copyChosenPayee(chosen, {col::PayeeAccount, col::PayeeBank, col::PayeePlace, col::OwnBank});
}

void TAppForm::LookupDlgAccountUserButton1Click()
{
    if (!m_classificationPicker || Modal::exec(m_classificationPicker) == 2)
        return;
    Table& types = *m_dm.ATCompanyType;
    // Without a chosen classification (an empty table) the list stays unfiltered.
    if (types.currentRow() < 0 || types.isNewRow(types.currentRow()))
        return;
    const QString id = types.text(col::TypeId);
    guarded(this, [&] {
        Table& company = *m_dm.ATCompany;
        company.setFiltered(false);
        company.setFilterText(QStringLiteral("账号分类 = ") + id);
        company.setFiltered(true);
    });
}

void TAppForm::LookupDlgAccountUserButton2Click()
{
    guarded(this, [this] { m_dm.ATCompany->setFiltered(false); });
}

void TAppForm::LookupDlgAccountCloseDialog()
{
    guarded(this, [this] { m_dm.ATCompany->setFiltered(false); });
}

} // namespace bankprep
