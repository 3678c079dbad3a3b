#include "controls/dbnavigator.h"

#include "controls/dbgrid.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"

#include <QHBoxLayout>

namespace bankprep {

DBNavigator::DBNavigator(DataSource* source, QWidget* parent) : QWidget(parent), m_source(source)
{
    struct Spec
    {
        NavGlyph glyph;
        const char* tip;
        bool repeats;
    };
    static const Spec specs[ButtonCount] = {
        {NavGlyph::First, "第一条", true},
        {NavGlyph::Prior10, "上移10条", true},
        {NavGlyph::Prior, "上一条", true},
        {NavGlyph::Next, "下一条", true},
        {NavGlyph::Next10, "下移10条", true},
        {NavGlyph::Last, "最后一条", true},
        {NavGlyph::Insert, "新增", false},
        {NavGlyph::Delete, "删除", false},
        {NavGlyph::Edit, "修改", false},
        {NavGlyph::Post, "确定", false},
        {NavGlyph::Cancel, "取消", false},
        {NavGlyph::Refresh, "刷新", false},
        {NavGlyph::SetBookmark, "定义书签", false},
        {NavGlyph::GotoBookmark, "返回书签", false},
    };
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setIcon(navigatorIcon(specs[i].glyph));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(QString::fromUtf8(specs[i].tip));
        b->setAutoRaise(false);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setFocusPolicy(Qt::NoFocus);
        if (specs[i].repeats) {
            b->setAutoRepeat(true);
            b->setAutoRepeatDelay(500);
            b->setAutoRepeatInterval(100);
        }
        connect(b, &QToolButton::clicked, this, [this, i] { click(Button(i)); });
        layout->addWidget(b);
        m_buttons[size_t(i)] = b;
    }
    Table* t = m_source->dataSet();
    connect(t, &Table::currentRowChanged, this, &DBNavigator::updateButtons);
    connect(t, &Table::stateChanged, this, &DBNavigator::updateButtons);
    connect(t, &Table::wasReset, this, &DBNavigator::updateButtons);
    connect(t, &Table::rowChanged, this, &DBNavigator::updateButtons);
    updateButtons();
}

void DBNavigator::setPaymentTooltips()
{
    m_buttons[Post]->setToolTip(QStringLiteral("确认"));
    m_buttons[GotoBookmark]->setToolTip(QStringLiteral("回到书签"));
}

void DBNavigator::click(Button b)
{
    Table* t = m_source->dataSet();
    if (!t->isOpen())
        return;
    guarded(window(), [&] {
        switch (b) {
        case First:
            t->first();
            break;
        case Prior10:
            t->moveBy(-10);
            break;
        case Prior:
            t->prior();
            break;
        case Next:
            t->next();
            break;
        case Next10:
            t->moveBy(10);
            break;
        case Last:
            t->last();
            break;
        case Insert:
            t->insert();
            break;
        case Delete:
            if (t->state() == Table::State::Insert)
                t->cancel();
            else if (t->rowCount() > 0 && confirmDeleteRecord(window()))
                t->remove();
            break;
        case Edit:
            t->edit();
            break;
        case Post:
            t->post();
            break;
        case Cancel:
            t->cancel();
            break;
        case Refresh:
            t->requery();
            break;
        case SetBookmark:
            m_bookmark = t->bookmark();
            break;
        case GotoBookmark:
            if (!t->gotoBookmark(m_bookmark) && m_bookmark.valid)
                throw DbError(QStringLiteral("书签所指的记录已不存在。"));
            break;
        case ButtonCount:
            break;
        }
    });
    updateButtons();
}

void DBNavigator::updateButtons()
{
    Table* t = m_source->dataSet();
    const bool open = t->isOpen();
    const bool editing = open && t->isEditing();
    const bool browse = open && !editing;
    const bool hasRows = open && t->rowCount() > 0;
    const bool canBack = open && !t->bof() && hasRows;
    const bool canForward = open && !t->eof() && hasRows;
    m_buttons[First]->setEnabled(canBack);
    m_buttons[Prior10]->setEnabled(canBack);
    m_buttons[Prior]->setEnabled(canBack);
    m_buttons[Next]->setEnabled(canForward);
    m_buttons[Next10]->setEnabled(canForward);
    m_buttons[Last]->setEnabled(canForward);
    m_buttons[Insert]->setEnabled(open);
    m_buttons[Delete]->setEnabled(hasRows);
    m_buttons[Edit]->setEnabled(browse && hasRows);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(open);
    m_buttons[SetBookmark]->setEnabled(hasRows);
    m_buttons[GotoBookmark]->setEnabled(open && m_bookmark.valid);
}

} // namespace bankprep
