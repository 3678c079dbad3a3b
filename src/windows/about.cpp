#include "windows/about.h"

#include "controls/messagebox.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

namespace {

// The bank's logo: a 134 by 23 pixel banner.
QPixmap logo()
{
    QPixmap pm(134, 23);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 134, 0);
    g.setColorAt(0, QColor(0x0b, 0x3d, 0x91));
    g.setColorAt(1, QColor(0x2a, 0x7a, 0xd0));
    p.fillRect(pm.rect(), g);
    QFont f;
    f.setPixelSize(14);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("网上银行"));
    return pm;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setupFixedDialog(this, QStringLiteral("AboutBox"), QStringLiteral("关于本程序"));
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* pl = new QVBoxLayout(panel);
    ProgramIcon = new QLabel(panel);
    ProgramIcon->setPixmap(logo());
    ProductName = new QLabel(QStringLiteral("网上银行预处理子系统"), panel);
    ProductName->setToolTip(ProductName->text());
    Version = new QLabel(QStringLiteral("版本号： 1.0"), panel);
    pl->addWidget(ProgramIcon);
    pl->addSpacing(8);
    pl->addWidget(ProductName);
    pl->addWidget(Version);
    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    OKButton->setFocus();
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace bankprep
