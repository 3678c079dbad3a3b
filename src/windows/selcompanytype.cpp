#include "windows/selcompanytype.h"

#include "controls/dbgrid.h"
#include "controls/dialogbuttons.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"

#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

TSelCompanyType::TSelCompanyType(TDataModule2& dm, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelCompanyType"));
    setWindowTitle(QStringLiteral("账号分类过滤"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(168, 204);

    DBGrid1 = new DBGrid(dm.DSCompanyType,
                         {GridColumn{col::TypeId, 4, QStringLiteral("编号")},
                          GridColumn{col::TypeName, 10, QStringLiteral("类型")}},
                         this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setReadOnly(true);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setColumnWidth(1, 89);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(28);
    // No default button: Enter presses the focused one.
    const DialogButtons buttons = makeDialogButtons(
        Panel1, QStringLiteral("选定"), QStringLiteral("取消"), QStringLiteral("BitBtn2"),
        QStringLiteral("BitBtn3"), DefaultButton::None);
    BitBtn2 = buttons.ok;
    BitBtn3 = buttons.cancel;
    buttonRow(buttons, RowPlacement::Left, {}, Panel1)->setContentsMargins(4, 2, 4, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(DBGrid1, 1);
    layout->addWidget(Panel1);

    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(1); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { done(2); });
    // A double-click anywhere in the list chooses, an empty list or below the last row
    // included (the caller then finds no current row).
    DBGrid1->viewport()->installEventFilter(this);
}

bool TSelCompanyType::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DBGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        DBGrid1DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TSelCompanyType::DBGrid1DblClick()
{
    done(1);
}

void TSelCompanyType::reject()
{
    done(2);
}

} // namespace bankprep
