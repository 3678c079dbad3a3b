#include "controls/lookupdlg.h"

#include "controls/dbgrid.h"
#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

TLookupDlg::TLookupDlg(DataSource* source, const QString& title, const QString& keyField,
                       const QList<GridColumn>& columns, QWidget* parent)
    : QDialog(parent), m_source(source), m_keyField(keyField)
{
    setWindowTitle(title);
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(QStringLiteral("输入以查找"));
    List = new DBGrid(source, columns, this);
    List->setReadOnly(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setMaximumHeight(209);
    List->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    List->setStyleSheet(QStringLiteral("QTableView { background: white; }"));
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("取消"));
    BtnOk = buttons.ok;
    BtnCancel = buttons.cancel;
    UserButton1 = new QPushButton(QStringLiteral("账号分类过滤"), this);
    UserButton2 = new QPushButton(QStringLiteral("显示全部"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SearchEdit);
    layout->addWidget(List);
    layout->addLayout(buttonRow(buttons, RowPlacement::Right, {UserButton1, UserButton2}));
    resize(560, 300);

    connect(SearchEdit, &QLineEdit::textEdited, this, &TLookupDlg::search);
    connect(List, &QAbstractItemView::doubleClicked, this, [this] { done(1); });
    connect(BtnOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(BtnCancel, &QPushButton::clicked, this, &TLookupDlg::reject);
    connect(UserButton1, &QPushButton::clicked, this, &TLookupDlg::userButton1Clicked);
    connect(UserButton2, &QPushButton::clicked, this, &TLookupDlg::userButton2Clicked);
}

void TLookupDlg::search(const QString& text)
{
    if (text.isEmpty())
        return;
    Table* t = m_source->dataSet();
    const int f = t->fieldIndex(m_keyField);
    for (int r = 0; r < t->rowCount(); ++r) {
        if (t->textAt(r, f).startsWith(text, Qt::CaseInsensitive)) {
            guarded(this, [&] { t->moveTo(r); });
            return;
        }
    }
}

void TLookupDlg::reject()
{
    done(2);
}

} // namespace bankprep
