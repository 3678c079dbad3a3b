#pragma once

#include "data/interaction.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace bankprep {

class TDataModule2;

// The payment detail window: the current payment instruction as a form beside the
// grid. Shown modelessly, on top of the other windows; closing it clears the main
// window's toggle.
class TPaymentAdditionDlg : public QDialog, public PaymentButtons
{
    Q_OBJECT
public:
    explicit TPaymentAdditionDlg(TDataModule2& dm, QWidget* parent = nullptr);

    void setPreviousEnabled(bool enabled) override;
    void setNextEnabled(bool enabled) override;

    QLabel* Label5;
    QPushButton* BtnPrevious;
    QPushButton* BtnNext;

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    TDataModule2& m_dm;
};

} // namespace bankprep
