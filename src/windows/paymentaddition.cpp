#include "windows/paymentaddition.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/money.h"
#include "core/data/names.h"
#include "core/data/table.h"
#include "windows/selcompany.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCompleter>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace bankprep {

// The texts of a field of the stored rows presented, each with its row's key. Held as
// UTF-8 in one block (a list of 200,000 payees in a few MB), each made a text when shown.
class TableComboBox::ListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void read(const Table& t, const QString& field)
    {
        QByteArray texts;
        std::vector<std::uint32_t> ends;
        std::vector<qint64> keys;
        if (t.isOpen()) {
            const int f = t.fieldIndex(QStringView(field));
            const bool stored = t.field(f).kind == FieldDef::Kind::Stored;
            ends.reserve(size_t(t.recordCount()));
            texts.reserve(qsizetype(t.recordCount()) * 24);
            keys.reserve(size_t(t.recordCount()));
            for (int r = 0; r < t.rowCount(); ++r) {
                if (t.isNewRow(r))
                    continue;
                // The row being edited shows what was typed into it; the others are read
                // straight from what the database gave.
                const CellView cell = t.cellAt(r, f);
                if (!stored || r == t.currentRow() || cell.tag != CellTag::Text)
                    texts += t.textAt(r, f).toUtf8();
                else
                    texts.append(cell.data, qsizetype(cell.size));
                ends.push_back(std::uint32_t(texts.size()));
                keys.push_back(t.keyAt(r));
            }
        }
        beginResetModel();
        m_texts = std::move(texts);
        m_ends = std::move(ends);
        m_keys = std::move(keys);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_keys.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_keys.size()))
            return {};
        const auto row = size_t(index.row());
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            const std::uint32_t begin = row == 0 ? 0 : m_ends[row - 1];
            return QString::fromUtf8(m_texts.constData() + begin, m_ends[row] - begin);
        }
        if (role == Qt::UserRole)
            return QVariant::fromValue<qlonglong>(m_keys[row]);
        return {};
    }

private:
    QByteArray m_texts;
    std::vector<std::uint32_t> m_ends;
    std::vector<qint64> m_keys;
};

TableComboBox::TableComboBox(QWidget* parent) : QComboBox(parent), m_list(new ListModel(this))
{
    setModel(m_list);
    if (auto* list = qobject_cast<QListView*>(view()))
        list->setUniformItemSizes(true);
}

void TableComboBox::setColumn(Table* table, const QString& field)
{
    m_table = table;
    m_field = field;
    m_stale = true;
    const auto stale = [this] { m_stale = true; };
    connect(table, &Table::wasReset, this, stale);
    connect(table, &Table::rowInserted, this, stale);
    connect(table, &Table::rowRemoved, this, stale);
    connect(table, &Table::rowChanged, this, stale);
    connect(table, &Table::stateChanged, this, stale);
}

void TableComboBox::refill()
{
    if (!m_stale || !m_table)
        return;
    m_stale = false;
    const QString text = currentText();
    const bool typed = lineEdit() && lineEdit()->isModified();
    const int cursor = lineEdit() ? lineEdit()->cursorPosition() : 0;
    const bool blocked = blockSignals(true);
    m_list->read(*m_table, m_field);
    setCurrentIndex(-1);
    setEditText(text);
    // What the clerk typed stays what the clerk typed.
    if (lineEdit()) {
        lineEdit()->setModified(typed);
        lineEdit()->setCursorPosition(cursor);
    }
    blockSignals(blocked);
}

void TableComboBox::showPopup()
{
    refill();
    QComboBox::showPopup();
}

TPaymentAdditionDlg::TPaymentAdditionDlg(TDataModule2& dm, QWidget* parent)
    : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("PaymentAdditionDlg"));
    setWindowTitle(QStringLiteral("附加信息"));
    // A tool window of the main window: above the program's own windows, never above
    // other programs, and below the dialogs the program opens later.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setFixedSize(516, 367);

    // The controls in their Tab order.
    buildHeading();
    buildPayeeGroup();
    buildAmountGroup();
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("关闭"));
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    layOutWindow(buttons);

    bindFields();
    connectCommands();
    followPaymentTable();
}

// The title and the record buttons.
void TPaymentAdditionDlg::buildHeading()
{
    Label5 = new QLabel(QStringLiteral("支付指令信息"), this);
    QFont heading(QStringLiteral("隶书"));
    heading.setPixelSize(19);
    Label5->setFont(heading);
    BtnPrevious = new QPushButton(QStringLiteral("上一条"), this);
    BtnNext = new QPushButton(QStringLiteral("下一条"), this);
}

// 收款人: city, account, payee, bank and place.
void TPaymentAdditionDlg::buildPayeeGroup()
{
    GroupBox1 = new QGroupBox(QStringLiteral("收 款 人"), this);
    BtnSelCompany = new QPushButton(QStringLiteral("选择收款人"), GroupBox1);
    DBRadioGroup1 = new QGroupBox(GroupBox1);
    RadioSameCity = new QRadioButton(QStringLiteral("同城转帐"), DBRadioGroup1);
    RadioOtherCity = new QRadioButton(QStringLiteral("异地汇款"), DBRadioGroup1);
    auto* radios = new QHBoxLayout(DBRadioGroup1);
    radios->setContentsMargins(6, 2, 6, 2);
    radios->addWidget(RadioSameCity);
    radios->addWidget(RadioOtherCity);
    buildAccountCombo();
    DBCheckBox1 = new QCheckBox(QStringLiteral("是否溯枫银行帐号"), GroupBox1);
    LookupComboName = new TableComboBox(GroupBox1);
    LookupComboName->setObjectName(QStringLiteral("LookupComboName"));
    LookupComboName->setEditable(true);
    LookupComboName->setMaxVisibleItems(6);
    LookupComboName->setInsertPolicy(QComboBox::NoInsert);
    LookupComboName->setColumn(m_dm.ATCompany.get(), col::PayeeName);
    dess = new QCheckBox(QStringLiteral("是否大额实时"), GroupBox1);
    DBEdit2 = new QLineEdit(GroupBox1);
    Label4 = new QLabel(QStringLiteral("汇入地点"), GroupBox1);
    DBEdit4 = new QLineEdit(GroupBox1);
    auto* g1 = new QGridLayout(GroupBox1);
    g1->addWidget(DBRadioGroup1, 0, 0, 1, 3);
    g1->addWidget(BtnSelCompany, 0, 3);
    g1->addWidget(new QLabel(QStringLiteral("收款帐号"), GroupBox1), 1, 0);
    g1->addWidget(LookupComboAccount, 1, 1);
    g1->addWidget(DBCheckBox1, 1, 2, 1, 2);
    g1->addWidget(new QLabel(QStringLiteral("收款单位"), GroupBox1), 2, 0);
    g1->addWidget(LookupComboName, 2, 1);
    g1->addWidget(dess, 2, 2, 1, 2);
    g1->addWidget(new QLabel(QStringLiteral("收款银行"), GroupBox1), 3, 0);
    g1->addWidget(DBEdit2, 3, 1);
    g1->addWidget(Label4, 3, 2);
    g1->addWidget(DBEdit4, 3, 3);
}

// The account drop-down, with the list that opens as the clerk types.
void TPaymentAdditionDlg::buildAccountCombo()
{
    LookupComboAccount = new TableComboBox(GroupBox1);
    LookupComboAccount->setObjectName(QStringLiteral("LookupComboAccount"));
    LookupComboAccount->setEditable(true);
    LookupComboAccount->setMaxVisibleItems(6);
    LookupComboAccount->setInsertPolicy(QComboBox::NoInsert);
    LookupComboAccount->setColumn(m_dm.ATCompany.get(), col::PayeeAccount);
    // The account list opens by itself as the clerk types (6 rows), at the accounts that
    // begin with what is typed.
    m_accountCompleter = new QCompleter(LookupComboAccount->model(), this);
    m_accountCompleter->setCompletionMode(QCompleter::PopupCompletion);
    m_accountCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    m_accountCompleter->setMaxVisibleItems(6);
    // One row height: the list is not measured row by row when the payee book changes.
    if (auto* list = qobject_cast<QListView*>(m_accountCompleter->popup()))
        list->setUniformItemSizes(true);
    // On the edit itself: the box would take a choice for a row of its own list.
    LookupComboAccount->lineEdit()->setCompleter(m_accountCompleter);
    LookupComboAccount->installEventFilter(this); // the box has the focus for its edit
    LookupComboAccount->lineEdit()->installEventFilter(this);
}

// 款项及用途: amount, purpose and remark.
void TPaymentAdditionDlg::buildAmountGroup()
{
    GroupBox2 = new QGroupBox(QStringLiteral("款项及用途"), this);
    DBEdit7 = new QLineEdit(GroupBox2);
    DBEdit7->setObjectName(QStringLiteral("DBEdit7"));
    DBEdit7->installEventFilter(this);
    LookupComboPurpose = new TableComboBox(GroupBox2);
    LookupComboPurpose->setEditable(true);
    LookupComboPurpose->setInsertPolicy(QComboBox::NoInsert);
    LookupComboPurpose->setColumn(m_dm.ATUse.get(), col::Purpose);
    DBEdit9 = new QLineEdit(GroupBox2);
    auto* g2 = new QGridLayout(GroupBox2);
    g2->addWidget(new QLabel(QStringLiteral("金额"), GroupBox2), 0, 0);
    g2->addWidget(DBEdit7, 0, 1);
    g2->addWidget(new QLabel(QStringLiteral("用途"), GroupBox2), 0, 2);
    g2->addWidget(LookupComboPurpose, 0, 3);
    LabelCapitals = new QLabel(GroupBox2);
    LabelCapitals->setObjectName(QStringLiteral("LabelCapitals"));
    LabelCapitals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    g2->addWidget(new QLabel(QStringLiteral("大写"), GroupBox2), 1, 0);
    g2->addWidget(LabelCapitals, 1, 1, 1, 3);
    g2->addWidget(new QLabel(QStringLiteral("备注"), GroupBox2), 2, 0);
    g2->addWidget(DBEdit9, 2, 1, 1, 3);
    // The capitals follow the field, as shown and as typed (a text that is not an amount
    // shows none).
    connect(DBEdit7, &QLineEdit::textChanged, this, [this](const QString& text) {
        QString plain = text;
        plain.remove(QLatin1Char(','));
        const auto m = Money::parseRounded(plain);
        LabelCapitals->setText(m ? QStringLiteral("人民币") + m->toChineseCapitals() : QString());
    });
}

void TPaymentAdditionDlg::layOutWindow(const DialogButtons& buttons)
{
    auto* top = new QHBoxLayout;
    top->addWidget(Label5);
    top->addStretch();
    top->addWidget(BtnPrevious);
    top->addWidget(BtnNext);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttonRow(buttons));
}

void TPaymentAdditionDlg::bindFields()
{
    // A field holds exactly what the clerk types; it goes into the shared row when the
    // field is left, or when anything stores or leaves the row (see the record updater).
    // The first key only begins editing the instruction.
    m_fields = {{DBEdit2, col::PayeeBank},
                {DBEdit4, col::PayeePlace},
                {DBEdit7, col::Amount},
                {DBEdit9, col::Remark},
                {LookupComboAccount->lineEdit(), col::PayeeAccount},
                {LookupComboName->lineEdit(), col::PayeeName},
                {LookupComboPurpose->lineEdit(), col::Purpose}};
    for (const BoundField& b : m_fields) {
        connect(b.edit, &QLineEdit::textEdited, this, [this] {
            if (!m_refreshing)
                ensureEditing();
        });
        QLineEdit* edit = b.edit;
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] { fieldLeft(edit); });
    }
}

// The clicks and choices that write into the instruction or run a command.
void TPaymentAdditionDlg::connectCommands()
{
    connect(RadioSameCity, &QRadioButton::clicked, this,
            [this] { writeField(col::SameCity, YesText); });
    connect(RadioOtherCity, &QRadioButton::clicked, this,
            [this] { writeField(col::SameCity, NoText); });
    connect(DBCheckBox1, &QCheckBox::clicked, this,
            [this](bool on) { writeField(col::OwnBank, on ? YesText : NoText); });
    connect(dess, &QCheckBox::clicked, this,
            [this](bool on) { writeField(col::Urgent, on ? YesText : NoText); });
    // A row picked from a list is the payee book's row with that key, whatever position
    // it has (a new payee row may be pending in the book).
    connect(LookupComboAccount, &QComboBox::activated, this, [this](int index) {
        const bool modified =
            LookupComboAccount->itemText(index) != m_dm.ATPayment->text(col::PayeeAccount);
        if (goToPayee(LookupComboAccount, index))
            LookupComboAccountCloseUp(modified);
    });
    connect(m_accountCompleter, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& account) {
                // Chosen from the list that opened while typing: the account and its payee.
                if (!writeField(col::PayeeAccount, account))
                    return;
                LookupComboAccount->lineEdit()->setModified(false);
                LookupComboAccountCloseUp(false);
            });
    connect(LookupComboName, &QComboBox::activated, this, [this](int index) {
        const bool modified =
            LookupComboName->itemText(index) != m_dm.ATPayment->text(col::PayeeName);
        if (goToPayee(LookupComboName, index))
            LookupComboNameCloseUp(modified);
    });
    connect(LookupComboPurpose, &QComboBox::activated, this, [this](int index) {
        if (writeField(col::Purpose, LookupComboPurpose->itemText(index)))
            LookupComboPurpose->lineEdit()->setModified(false);
    });
    connect(BtnSelCompany, &QPushButton::clicked, this, &TPaymentAdditionDlg::BtnSelCompanyClick);
    connect(BtnPrevious, &QPushButton::clicked, this, &TPaymentAdditionDlg::BtnPreviousClick);
    connect(BtnNext, &QPushButton::clicked, this, &TPaymentAdditionDlg::BtnNextClick);
    connect(OKBtn, &QPushButton::clicked, this, &TPaymentAdditionDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPaymentAdditionDlg::CancelBtnClick);
}

void TPaymentAdditionDlg::followPaymentTable()
{
    Table* p = m_dm.ATPayment.get();
    // A change of the fields of the same row never overwrites a field being typed; a
    // move to another row (what was typed went into the row first) or a cancel shows
    // the row afresh.
    const auto sameRow = [this] { refresh(false); };
    const auto newRow = [this] { refresh(true); };
    connect(p, &Table::rowChanged, this, sameRow);
    connect(p, &Table::rowInserted, this, sameRow);
    connect(p, &Table::stateChanged, this, sameRow);
    connect(p, &Table::currentRowChanged, this, newRow);
    connect(p, &Table::rowRemoved, this, newRow);
    connect(p, &Table::wasReset, this, newRow);
    connect(p, &Table::editDiscarded, this, newRow);
    p->addRecordUpdater(this, [this] { writeTypedFields(); });
}

TPaymentAdditionDlg::~TPaymentAdditionDlg()
{
    m_dm.ATPayment->removeRecordUpdaters(this);
    // The fields lose their focus as they go: nothing of theirs may reach this window's
    // handlers once it is being destroyed.
    for (QObject* child : findChildren<QObject*>()) {
        child->removeEventFilter(this);
        child->disconnect(this);
    }
    m_dm.ATPayment->disconnect(this);
    m_dm.ATCompany->disconnect(this);
}

void TPaymentAdditionDlg::writeTypedFields()
{
    Table& p = *m_dm.ATPayment;
    for (const BoundField& b : m_fields) {
        if (!b.edit->isModified())
            continue;
        p.editValue(QStringView(b.field), b.edit->text()); // a refusal stops the store
        b.edit->setModified(false);
    }
}

bool TPaymentAdditionDlg::commitField(QLineEdit* edit)
{
    for (const BoundField& b : m_fields) {
        if (b.edit != edit || !edit->isModified())
            continue;
        const bool ok = writeField(b.field, edit->text());
        if (ok)
            edit->setModified(false);
        else
            edit->setFocus(); // stays with what was typed, for the clerk to correct
        return ok;
    }
    return true;
}

QString TPaymentAdditionDlg::amountText() const
{
    // The currency format to read; the plain number while the clerk is in the field.
    const QVariant v = m_dm.ATPayment->value(col::Amount);
    if (DBEdit7->hasFocus() || v.metaType() != QMetaType::fromType<Money>())
        return m_dm.ATPayment->text(col::Amount);
    return v.value<Money>().toDisplayString();
}

bool TPaymentAdditionDlg::eventFilter(QObject* watched, QEvent* event)
{
    // The account lists are ready before the first key reaches the edit (filled again
    // only after the payee book changed: a list the clerk is choosing from stays).
    if ((watched == LookupComboAccount && event->type() == QEvent::FocusIn) ||
        (watched == LookupComboAccount->lineEdit() && event->type() == QEvent::KeyPress))
        LookupComboAccount->refill();
    if (watched == DBEdit7 && !DBEdit7->isModified() &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        // Shown the other way as the clerk enters or leaves the field.
        QTimer::singleShot(0, this, [this] {
            if (!DBEdit7->isModified() && m_dm.ATPayment->isOpen())
                refresh(false);
        });
    }
    return QDialog::eventFilter(watched, event);
}

void TPaymentAdditionDlg::fieldLeft(QLineEdit* edit)
{
    if (m_refreshing || m_committing || !edit->isModified())
        return;
    m_committing = true;
    const bool ok = commitField(edit);
    m_committing = false;
    if (ok)
        refresh(false);
    // A typed account that the payee book holds fills the payee's details.
    if (ok && edit == LookupComboAccount->lineEdit())
        LookupComboAccountCloseUp(false);
}

bool TPaymentAdditionDlg::goToPayee(QComboBox* combo, int index)
{
    const QVariant key = combo->itemData(index);
    if (!key.isValid())
        return false;
    bool found = false;
    guarded(this, [&] { found = m_dm.ATCompany->gotoBookmark(Bookmark{key.toLongLong(), true}); });
    return found;
}

void TPaymentAdditionDlg::setPreviousEnabled(bool enabled)
{
    BtnPrevious->setEnabled(enabled);
}

void TPaymentAdditionDlg::setNextEnabled(bool enabled)
{
    BtnNext->setEnabled(enabled);
}

void TPaymentAdditionDlg::refresh(bool anotherRow)
{
    Table& p = *m_dm.ATPayment;
    if (!p.isOpen())
        return;
    m_refreshing = true;
    for (const BoundField& b : m_fields) {
        if (anotherRow)
            b.edit->setModified(false);
        else if (b.edit->isModified())
            continue; // what the clerk is typing stays
        const QString t = b.edit == DBEdit7 ? amountText() : p.text(QStringView(b.field));
        if (b.edit->text() != t)
            b.edit->setText(t);
    }
    const QString sameCity = p.text(col::SameCity);
    RadioSameCity->setChecked(sameCity == YesText);
    RadioOtherCity->setChecked(sameCity != YesText);
    DBCheckBox1->setChecked(p.text(col::OwnBank) == YesText);
    dess->setChecked(p.text(col::Urgent) == YesText);
    DBRadioGroup1Click();
    DBCheckBox1Click();
    m_refreshing = false;
}

bool TPaymentAdditionDlg::ensureEditing()
{
    Table& p = *m_dm.ATPayment;
    return guarded(this, [&] {
        if (!p.isEditing())
            p.edit();
    });
}

bool TPaymentAdditionDlg::writeField(const QString& field, const QVariant& value)
{
    if (m_refreshing)
        return false;
    Table& p = *m_dm.ATPayment;
    return guarded(this, [&] { p.editValue(QStringView(field), value); });
}

void TPaymentAdditionDlg::copyFromPayeeBook(std::initializer_list<QString> fields)
{
    Table& company = *m_dm.ATCompany;
    Table& p = *m_dm.ATPayment;
    const bool hasRow = company.currentRow() >= 0 && !company.isNewRow(company.currentRow());
    guarded(this, [&] {
        for (const QString& f : fields)
            p.editValue(QStringView(f), hasRow ? company.text(QStringView(f)) : QString());
    });
}

void TPaymentAdditionDlg::DBCheckBox1Click()
{
    // A same-bank account needs no destination place; the bank is always editable.
    DBEdit4->setEnabled(!DBCheckBox1->isChecked());
    DBEdit2->setEnabled(true);
}

void TPaymentAdditionDlg::DBRadioGroup1Click()
{
    const bool sameCity = RadioSameCity->isChecked();
    DBEdit4->setVisible(!sameCity);
    Label4->setVisible(!sameCity);
    dess->setVisible(sameCity);
}

void TPaymentAdditionDlg::LookupComboAccountCloseUp(bool modified)
{
    const std::initializer_list<QString> fields = {col::PayeeBank, col::PayeeName, col::PayeePlace,
                                                   col::OwnBank};
    if (modified) {
        guarded(this, [this] {
            m_dm.ATPayment->editValue(col::PayeeAccount, m_dm.ATCompany->text(col::PayeeAccount));
        });
        copyFromPayeeBook(fields);
        return;
    }
    // A typed account that the payee book holds fills the payee's details.
    const QString typed = LookupComboAccount->currentText();
    bool found = false;
    guarded(this, [&] {
        found = !typed.isEmpty() && m_dm.ATCompany->locate(col::PayeeAccount, {typed});
    });
    if (found)
        copyFromPayeeBook(fields);
}

void TPaymentAdditionDlg::LookupComboNameCloseUp(bool modified)
{
    if (!modified)
        return;
    guarded(this, [this] {
        m_dm.ATPayment->editValue(col::PayeeName, m_dm.ATCompany->text(col::PayeeName));
    });
    copyFromPayeeBook({col::PayeeAccount, col::PayeeBank, col::PayeePlace, col::OwnBank});
}

void TPaymentAdditionDlg::BtnSelCompanyClick()
{
    if (!m_picker)
        return;
    Table& company = *m_dm.ATCompany;
    if (m_picker->run() != 1) {
        guarded(this, [&] { company.setFiltered(false); });
        return;
    }
    if (!ensureEditing())
        return;
    copyFromPayeeBook(
        {col::PayeeAccount, col::PayeeName, col::OwnBank, col::PayeeBank, col::PayeePlace});
    // After the copy: switching the filter off moves the payee book's current row.
    guarded(this, [&] { company.setFiltered(false); });
    DBEdit7->setFocus();
}

void TPaymentAdditionDlg::BtnPreviousClick()
{
    Table& p = *m_dm.ATPayment;
    guarded(this, [&] {
        if (p.state() == Table::State::Insert)
            p.cancel(); // a new instruction is discarded
        else if (!p.bof())
            p.prior();
    });
}

void TPaymentAdditionDlg::BtnNextClick()
{
    Table& p = *m_dm.ATPayment;
    guarded(this, [&] {
        if (p.isEditing())
            p.post();
        if (!p.eof())
            p.next();
    });
}

void TPaymentAdditionDlg::OKBtnClick()
{
    Table& p = *m_dm.ATPayment;
    guarded(this, [&] {
        if (p.isEditing())
            p.post();
    });
}

void TPaymentAdditionDlg::CancelBtnClick()
{
    close();
}

void TPaymentAdditionDlg::FormClose()
{
    guarded(this, [this] {
        m_dm.ATCompany->setSortField(QString());
        if (m_dm.ATPayment->isEditing())
            m_dm.ATPayment->cancel();
    });
}

void TPaymentAdditionDlg::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept(); // hidden, not destroyed
    // Only a close releases the main window's toggle: hiding with the toggle, or with
    // the main window when it is minimised, does not.
    emit closed();
}

void TPaymentAdditionDlg::reject()
{
    close(); // Esc is "关闭"
}

} // namespace bankprep
