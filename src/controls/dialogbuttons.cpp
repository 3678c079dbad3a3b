#include "controls/dialogbuttons.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace bankprep {

DialogButtons makeDialogButtons(QWidget* parent, const QString& okText, const QString& cancelText,
                                const QString& okName, const QString& cancelName,
                                DefaultButton defaultButton)
{
    DialogButtons b;
    b.ok = new QPushButton(okText, parent);
    if (!okName.isEmpty())
        b.ok->setObjectName(okName);
    if (defaultButton == DefaultButton::Ok)
        b.ok->setDefault(true);
    b.cancel = new QPushButton(cancelText, parent);
    if (!cancelName.isEmpty())
        b.cancel->setObjectName(cancelName);
    return b;
}

QHBoxLayout* buttonRow(const DialogButtons& buttons, RowPlacement placement,
                       std::initializer_list<QWidget*> leading, QWidget* panel)
{
    auto* row = panel ? new QHBoxLayout(panel) : new QHBoxLayout;
    for (QWidget* w : leading)
        row->addWidget(w);
    if (placement == RowPlacement::Right)
        row->addStretch();
    row->addWidget(buttons.ok);
    row->addWidget(buttons.cancel);
    return row;
}

} // namespace bankprep
