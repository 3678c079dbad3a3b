#pragma once

#include "core/data/interaction.h"

#include <QComboBox>
#include <QDialog>
#include <functional>

class QCheckBox;
class QCompleter;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bankprep {

class TDataModule2;
class TFrmSelCompany;
struct DialogButtons;

class Table;

// A drop-down over one field of a table: the texts of the stored rows the table
// presents, each with its row's key. The list is read again when it opens after the
// table changed (a list of 200,000 payees is not rebuilt at every opening), and drawn
// with one row height, so that it opens at once at any size.
class TableComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TableComboBox(QWidget* parent = nullptr);
    void setColumn(Table* table, const QString& field);
    // Reads the list again if the table changed since it was read; what the clerk typed
    // into the box stays.
    void refill();
    void showPopup() override;

private:
    class ListModel;
    ListModel* m_list;
    Table* m_table = nullptr;
    QString m_field;
    bool m_stale = true;
};

// The payment detail window: the current payment instruction as a form beside the
// grid, sharing its current row and its pending edit. Shown modelessly, on top of the
// other windows; closing it drops the payee book's sort order and a pending edit.
class TPaymentAdditionDlg : public QDialog, public PaymentButtons
{
    Q_OBJECT
public:
    explicit TPaymentAdditionDlg(TDataModule2& dm, QWidget* parent = nullptr);
    ~TPaymentAdditionDlg() override;
    void setPayeePicker(TFrmSelCompany* picker) { m_picker = picker; }

    void setPreviousEnabled(bool enabled) override;
    void setNextEnabled(bool enabled) override;

    QLabel* Label5;                    // title 支付指令信息
    QPushButton* BtnPrevious;          // 上一条 (a new instruction is discarded)
    QPushButton* BtnNext;              // 下一条 (the instruction is stored first)
    QGroupBox* GroupBox1;              // group 收 款 人
    QPushButton* BtnSelCompany;        // 选择收款人: the payee picker
    QGroupBox* DBRadioGroup1;          // 同城交易 as two radio buttons
    QRadioButton* RadioSameCity;       // 同城转帐: 同城交易 = 是
    QRadioButton* RadioOtherCity;      // 异地汇款: 同城交易 = 否
    TableComboBox* LookupComboAccount; // 收款帐号, listing the payee book's accounts
    QCheckBox* DBCheckBox1;            // 是否溯枫银行帐号: 溯枫帐号
    TableComboBox* LookupComboName;    // 收款单位, listing the payee book's names
    QCheckBox* dess;                   // 是否大额实时: 大额实时 (same city only)
    QLineEdit* DBEdit2;                // 收款银行
    QLabel* Label4;                    // label of DBEdit4
    QLineEdit* DBEdit4;                // 汇入地点 (another city only)
    QGroupBox* GroupBox2;              // group 款项及用途
    QLineEdit* DBEdit7;                // 金额
    QLabel* LabelCapitals;             // 金额 in Chinese capitals, as typed
    TableComboBox* LookupComboPurpose; // 用途, listing the common purposes
    QLineEdit* DBEdit9;                // 备注
    QPushButton* OKBtn;                // 确定: stores the instruction
    QPushButton* CancelBtn;            // 关闭: closes the window, dropping a pending edit

    // Handlers.
    void DBCheckBox1Click();
    void DBRadioGroup1Click();
    void LookupComboAccountCloseUp(bool modified);
    void LookupComboNameCloseUp(bool modified);
    void BtnSelCompanyClick();
    void BtnPreviousClick();
    void BtnNextClick();
    void OKBtnClick();
    void CancelBtnClick();
    void FormClose();
    void reject() override; // Esc closes like "关闭"

    // Shows the current row (called whenever the payment table changes). Fields the
    // clerk is typing in keep their text unless `anotherRow` is shown.
    void refresh(bool anotherRow = true);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct BoundField
    {
        QLineEdit* edit;
        QString field;
    };
    // The constructor's steps.
    void buildHeading();
    void buildPayeeGroup();
    void buildAccountCombo();
    void buildAmountGroup();
    void layOutWindow(const DialogButtons& buttons);
    void bindFields();
    void connectCommands();
    void followPaymentTable();

    void writeTypedFields(); // throws DbError
    QString amountText() const;
    bool commitField(QLineEdit* edit);
    void fieldLeft(QLineEdit* edit);
    bool goToPayee(QComboBox* combo, int index);
    bool writeField(const QString& field, const QVariant& value);
    bool ensureEditing();
    void copyFromPayeeBook(std::initializer_list<QString> fields);

    TDataModule2& m_dm;
    TFrmSelCompany* m_picker = nullptr;
    bool m_refreshing = false;
    bool m_committing = false;
    QCompleter* m_accountCompleter = nullptr;
    QList<BoundField> m_fields;
};

} // namespace bankprep
