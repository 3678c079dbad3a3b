#include "windows/salaryimportdlg.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

TImportDlg::TImportDlg(QWidget* parent) : QDialog(parent)
{
    setupFixedDialog(this, QStringLiteral("ImportDlg"), QStringLiteral("数据导入对话框"));
    GroupBox1 = new QGroupBox(QStringLiteral("对应字段选择"), this);
    auto combo = [this](const char* name) {
        auto* c = new QComboBox(GroupBox1);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(false);
        c->setMinimumWidth(160);
        return c;
    };
    CBAccount = combo("CBAccount");
    CBName = combo("CBName");
    CBCard = combo("CBCard");
    CBAmount = combo("CBAmount");
    auto* grid = new QGridLayout(GroupBox1);
    int row = 0;
    for (auto [label, box] : {std::pair{"编号", CBAccount}, std::pair{"姓名", CBName},
                              std::pair{"卡号", CBCard}, std::pair{"实发工资", CBAmount}}) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), GroupBox1), row, 0);
        grid->addWidget(box, row, 1);
        ++row;
    }
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("放弃"));
    BitBtn1 = buttons.ok;
    BitBtn2 = buttons.cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttonRow(buttons));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });
    connect(BitBtn2, &QPushButton::clicked, this, &TImportDlg::reject);
}

void TImportDlg::setTitles(const QStringList& titles)
{
    for (QComboBox* c : {CBName, CBAccount, CBCard, CBAmount}) {
        c->clear();
        c->addItems(titles);
        c->setCurrentIndex(titles.isEmpty() ? -1 : 0);
    }
}

void TImportDlg::reject()
{
    done(3); // abort
}

} // namespace bankprep
