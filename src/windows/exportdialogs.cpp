#include "windows/exportdialogs.h"

#include "controls/dialogbuttons.h"
#include "controls/lookupcombo.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

namespace {

// The form above, the buttons at the bottom right; the dialog keeps its size.
void layOut(QDialog* dialog, QGridLayout* form, const DialogButtons& buttons)
{
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addLayout(buttonRow(buttons));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace

TSelectPaymentDlg::TSelectPaymentDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setupFixedDialog(this, QStringLiteral("SelectPaymentDlg"), QStringLiteral("导出支付指令文件"));
    Label2 = new QLabel(QStringLiteral("当前用户编号:"), this);
    DBText1 = new QLabel(this);
    DBText1->setObjectName(QStringLiteral("DBText1"));
    Label1 = new QLabel(QStringLiteral("请选择支付帐号"), this);
    DBLookupComboDrawee = new LookupCombo(this);
    DBLookupComboDrawee->setOpensOnTyping(true); // typing opens the list at the first match
    DBLookupComboDrawee->setObjectName(QStringLiteral("DBLookupComboDrawee"));
    DBLookupComboDrawee->setEditable(false);
    DBLookupComboDrawee->setMinimumWidth(260);
    DBLookupComboDrawee->setToolTip(QStringLiteral("选择当前用户可使用付款帐号"));
    DBLookupComboDrawee->setStatusTip(QStringLiteral("选择当前用户可使用付款帐号"));
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("取消"));
    BitBtn1 = buttons.ok;
    BitBtn2 = buttons.cancel;

    auto* grid = new QGridLayout;
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(DBText1, 0, 1);
    grid->addWidget(Label1, 1, 0, 1, 2);
    grid->addWidget(DBLookupComboDrawee, 2, 0, 1, 2);
    layOut(this, grid, buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TSelectPaymentDlg::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TSelectPaymentDlg::reject);
}

void TSelectPaymentDlg::refresh()
{
    const QString last = DBLookupComboDrawee->currentText();
    QList<LookupCombo::Row> rows;
    Table& d = *m_dm.ATDrawee;
    if (d.isOpen()) {
        const int f = d.fieldIndex(col::PayerAccount);
        for (int r = 0; r < d.rowCount(); ++r) {
            if (!d.isNewRow(r))
                rows.append({{d.textAt(r, f)}, d.textAt(r, f)});
        }
    }
    DBLookupComboDrawee->setRows({col::PayerAccount}, rows, 0);
    // The last choice stays selected; at the first export nothing is.
    DBLookupComboDrawee->setCurrentIndex(last.isEmpty() ? -1 : DBLookupComboDrawee->findText(last));
    Table& p = *m_dm.ATPayment;
    DBText1->setText(p.isOpen() && p.recordCount() > 0 ? p.text(col::UserId) : QString());
}

QString TSelectPaymentDlg::payerAccount() const
{
    return DBLookupComboDrawee->currentText();
}

void TSelectPaymentDlg::BitBtn1Click()
{
    if (payerAccount().trimmed().isEmpty()) {
        MessageBox::critical(this, QStringLiteral("错误"), QStringLiteral("请选择支付帐号"));
        return;
    }
    done(1);
}

void TSelectPaymentDlg::reject()
{
    done(2);
}

TSplitSalaryDlg::TSplitSalaryDlg(QWidget* parent) : QDialog(parent)
{
    setupFixedDialog(this, QStringLiteral("SplitSalaryDlg"), QStringLiteral("工资文件拆分"));
    Label1 = new QLabel(QStringLiteral("工资文件总记录数："), this);
    recCount = new QLabel(this);
    recCount->setObjectName(QStringLiteral("recCount"));
    Label2 = new QLabel(QStringLiteral("每文件记录数："), this);
    recPerFile = new QLineEdit(this);
    recPerFile->setObjectName(QStringLiteral("recPerFile"));
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("&Yes"), QStringLiteral("取消"));
    BitBtn1 = buttons.ok;
    BitBtn2 = buttons.cancel;

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(recCount, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(recPerFile, 1, 1);
    layOut(this, grid, buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TSplitSalaryDlg::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TSplitSalaryDlg::reject);
}

void TSplitSalaryDlg::BitBtn1Click()
{
    const QString t = recPerFile->text().trimmed();
    if (t.isEmpty()) {
        MessageBox::critical(this, QStringLiteral("错误"), QStringLiteral("请输入文件记录数"));
        return;
    }
    bool ok = false;
    t.toInt(&ok);
    if (!ok) {
        MessageBox::critical(this, QStringLiteral("错误"), QStringLiteral("请输入有效记录数"));
        recPerFile->setFocus();
        return;
    }
    done(1);
}

void TSplitSalaryDlg::reject()
{
    done(2);
}

} // namespace bankprep
