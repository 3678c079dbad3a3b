#include "paymentaddition.h"

#include "app/messagebox.h"
#include "data/datamodule.h"

#include <QLabel>
#include <QPushButton>

namespace bankprep {

TPaymentAdditionDlg::TPaymentAdditionDlg(TDataModule2& dm, QWidget* parent)
    : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("PaymentAdditionDlg"));
    setWindowTitle(QStringLiteral("附加信息"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setFixedSize(516, 367);
    Label5 = new QLabel(QStringLiteral("支付指令信息"), this);
    QFont heading(QStringLiteral("LiSu"));
    heading.setPixelSize(19);
    Label5->setFont(heading);
    Label5->setGeometry(16, 10, 200, 28);
    BtnPrevious = new QPushButton(QStringLiteral("上一条"), this);
    BtnPrevious->setGeometry(340, 10, 75, 25);
    BtnNext = new QPushButton(QStringLiteral("下一条"), this);
    BtnNext->setGeometry(425, 10, 75, 25);
    connect(BtnPrevious, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { m_dm.ATPayment->prior(); }); });
    connect(BtnNext, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { m_dm.ATPayment->next(); }); });
}

void TPaymentAdditionDlg::setPreviousEnabled(bool enabled)
{
    BtnPrevious->setEnabled(enabled);
}

void TPaymentAdditionDlg::setNextEnabled(bool enabled)
{
    BtnNext->setEnabled(enabled);
}

void TPaymentAdditionDlg::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    emit closed();
}

} // namespace bankprep
