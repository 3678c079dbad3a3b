#include "controls/dbgrid.h"

#include "controls/messagebox.h"
#include "core/data/datamodule.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

namespace bankprep {

namespace {

const char* const kPicked = "bankprepPicked"; // an item chosen from a drop-down editor

QLineEdit* editorLine(QWidget* editor)
{
    if (auto* e = qobject_cast<QLineEdit*>(editor))
        return e;
    if (auto* c = qobject_cast<QComboBox*>(editor))
        return c->lineEdit(); // null for a drop-down without typing
    return editor->findChild<QLineEdit*>(QStringLiteral("text"));
}

} // namespace

bool editorChangedByUser(QWidget* editor)
{
    if (QLineEdit* e = editorLine(editor); e && e->isModified())
        return true;
    return editor->property(kPicked).toBool();
}

void clearEditorChanged(QWidget* editor)
{
    if (QLineEdit* e = editorLine(editor))
        e->setModified(false);
    editor->setProperty(kPicked, false);
}

namespace {

// The value an editor holds for the model.
QVariant editorValue(QWidget* editor)
{
    if (auto* combo = qobject_cast<LookupCombo*>(editor))
        return combo->isEditable() ? QVariant(combo->currentText()) : combo->currentValue();
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->isEditable() ? QVariant(combo->currentText()) : combo->currentData();
    if (QLineEdit* e = editorLine(editor))
        return e->text();
    const QByteArray property = editor->metaObject()->userProperty().name();
    return editor->property(property.constData());
}

// Draws check boxes centred, toggles them with one click, and turns Enter in an
// editor into "go to the next column".
class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        paintCell(painter, option, index);
        // The current cell stands out from its highlighted row: typing goes there.
        if (!m_grid->isReadOnly() && index == m_grid->currentIndex()) {
            painter->save();
            painter->setPen(QPen(option.palette.color(QPalette::WindowText), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
            painter->restore();
        }
    }

    void paintCell(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const
    {
        const auto* model = qobject_cast<const TableModel*>(index.model());
        if (!model || !model->column(index.column()).checkBox) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        opt.text.clear();
        const QWidget* w = option.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
        QStyleOptionViewItem check = option;
        check.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &check, w);
        check.rect =
            QRect(option.rect.center() - QPoint(box.width() / 2, box.height() / 2), box.size());
        check.state = option.state & ~QStyle::State_HasFocus;
        check.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                             : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, w);
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        const auto* tm = qobject_cast<const TableModel*>(model);
        if (!tm || !tm->column(index.column()).checkBox ||
            !(index.flags() & Qt::ItemIsUserCheckable))
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        bool toggle = false;
        if (event->type() == QEvent::MouseButtonPress)
            toggle = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        else if (event->type() == QEvent::MouseButtonRelease ||
                 event->type() == QEvent::MouseButtonDblClick)
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        else if (event->type() == QEvent::KeyPress)
            toggle = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
        if (!toggle)
            return false;
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        return true;
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        const auto* model = qobject_cast<const TableModel*>(index.model());
        if (!model)
            return QStyledItemDelegate::createEditor(parent, option, index);
        const GridColumn& col = model->column(index.column());
        if (col.editor == GridColumn::Editor::Lookup) {
            // The cell's text with a button that opens the lookup dialog.
            auto* box = new QWidget(parent);
            auto* layout = new QHBoxLayout(box);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(0);
            auto* edit = new QLineEdit(box);
            edit->setObjectName(QStringLiteral("text"));
            auto* button = new QToolButton(box);
            button->setText(QStringLiteral("…"));
            button->setObjectName(QStringLiteral("lookupButton"));
            button->setFocusPolicy(Qt::NoFocus);
            layout->addWidget(edit, 1);
            layout->addWidget(button);
            box->setFocusProxy(edit);
            const int column = index.column();
            QObject::connect(button, &QToolButton::clicked, m_grid, [grid = m_grid, box, column] {
                // What was typed is kept; the dialog's choice then replaces it.
                if (!grid->commitEditor(box))
                    return;
                emit const_cast<GridDelegate*>(
                    static_cast<const GridDelegate*>(grid->itemDelegate()))
                    ->closeEditor(box, QAbstractItemDelegate::NoHint);
                QMetaObject::invokeMethod(
                    grid, [grid, column] { emit grid->lookupRequested(column); },
                    Qt::QueuedConnection);
            });
            m_grid->watchEditor(box, index);
            return box;
        }
        if (col.editor == GridColumn::Editor::Combo) {
            auto* combo = new LookupCombo(parent);
            combo->setEditable(col.editField.isEmpty());
            if (combo->isEditable())
                combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setClearable(col.comboClearable);
            if (m_grid->comboItems)
                combo->setRows(col.comboTitles, m_grid->comboItems(index.column()),
                               col.comboSearchColumn);
            m_grid->watchEditor(combo, index);
            return combo;
        }
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor)
            m_grid->watchEditor(editor, index);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        // Never over what the clerk has typed: a change of the row (another view
        // writing a field, the new-record defaults) must not refill a typed editor.
        if (editorChangedByUser(editor))
            return;
        if (auto* edit = editor->findChild<QLineEdit*>(QStringLiteral("text"))) {
            edit->setText(index.data(Qt::EditRole).toString());
            return;
        }
        if (auto* combo = qobject_cast<LookupCombo*>(editor)) {
            const auto* model = qobject_cast<const TableModel*>(index.model());
            const GridColumn& col = model->column(index.column());
            if (combo->isEditable()) {
                combo->setEditText(index.data(Qt::EditRole).toString());
            } else {
                const QString stored =
                    model->table()->textAt(index.row(), model->table()->fieldIndex(col.editField));
                combo->setCurrentIndex(stored.isEmpty() ? -1 : combo->findValue(stored));
            }
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        // An editor the clerk has not changed writes nothing (it may show a value
        // formatted for display, or a row it no longer belongs to).
        if (!editorChangedByUser(editor))
            return;
        if (model->setData(index, editorValue(editor)))
            clearEditorChanged(editor);
    }

    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* ke = static_cast<QKeyEvent*>(event);
            auto* w = qobject_cast<QWidget*>(editor);
            const bool enter = ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
            const bool tab = ke->key() == Qt::Key_Tab;
            const bool backtab = ke->key() == Qt::Key_Backtab;
            if (w && (enter || tab || backtab)) {
                m_grid->setLastEditorKey(tab     ? DBGrid::LastKey::Tab
                                         : enter ? DBGrid::LastKey::Enter
                                                 : DBGrid::LastKey::Other);
                // A refused value (an amount that is not a number) keeps the editor
                // open with what was typed.
                if (!m_grid->commitEditor(w))
                    return true;
                emit closeEditor(w, backtab ? QAbstractItemDelegate::EditPreviousItem
                                            : QAbstractItemDelegate::EditNextItem);
                return true;
            }
            m_grid->setLastEditorKey(DBGrid::LastKey::Other);
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    DBGrid* m_grid;
};

} // namespace

// A click on the current cell opens its editor at once (see mouseReleaseEvent): Qt's
// own "selected clicked" trigger waits for the double-click interval, and keys typed
// meanwhile were taken for a keyboard search.
const QAbstractItemView::EditTriggers DBGrid::kEditTriggers = QAbstractItemView::DoubleClicked |
                                                              QAbstractItemView::EditKeyPressed |
                                                              QAbstractItemView::AnyKeyPressed;

bool confirmDeleteRecord(QWidget* parent)
{
    return MessageBox::question(
               parent, QStringLiteral("提示"), QStringLiteral("确定要删除当前记录吗？"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

DBGrid::DBGrid(DataSource* source, const QList<GridColumn>& columns, QWidget* parent)
    : QTableView(parent), m_source(source),
      m_model(new TableModel(source->dataSet(), columns, this))
{
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(kEditTriggers);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(true);
    setTabKeyNavigation(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(18);
    applyColumnWidths();

    Table* t = table();
    connect(t, &Table::currentRowChanged, this, [this] { syncFromTable(); });
    connect(t, &Table::wasReset, this, [this] { syncFromTable(); });
    connect(t, &Table::rowInserted, this, [this] { syncFromTable(); });
    connect(t, &Table::rowRemoved, this, [this] { syncFromTable(); });
    // Whatever stores or leaves the row first takes what the clerk typed into the cell.
    t->addRecordUpdater(this, [this] { writeOpenEditors(); });
    m_updatedTable = t;
    connect(t, &Table::editDiscarded, this, [this] { closeOpenEditors(); });
    syncFromTable();
}

DBGrid::~DBGrid()
{
    if (m_updatedTable)
        m_updatedTable->removeRecordUpdaters(this);
}

Table* DBGrid::table() const
{
    return m_source->dataSet();
}

void DBGrid::setReadOnly(bool readOnly)
{
    m_model->setReadOnly(readOnly);
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers : kEditTriggers);
}

void DBGrid::applyColumnWidths()
{
    const int charWidth = std::max(fontMetrics().averageCharWidth(), 6);
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const int chars = std::max(m_model->column(c).widthChars, 2);
        const int titleWidth =
            horizontalHeader()->fontMetrics().horizontalAdvance(m_model->column(c).title) + 12;
        setColumnWidth(c, std::max(chars * charWidth + 8, std::min(titleWidth, 12 * charWidth)));
    }
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    if (m_frozen) {
        m_frozen->setColumnWidth(0, columnWidth(0));
        m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    }
}

void DBGrid::setCellFont(const QFont& font)
{
    setFont(font);
    if (m_frozen)
        m_frozen->setFont(font);
    applyColumnWidths();
}

void DBGrid::setTitleFont(const QFont& font)
{
    horizontalHeader()->setFont(font);
    if (m_frozen)
        m_frozen->horizontalHeader()->setFont(font);
}

void DBGrid::setFrozenFirstColumn(bool frozen)
{
    if (!frozen) {
        delete m_frozen;
        m_frozen = nullptr;
        return;
    }
    if (m_frozen)
        return;
    // A second view over the same model shows the first column on top of this one.
    m_frozen = new QTableView(this);
    m_frozen->setModel(m_model);
    m_frozen->setSelectionModel(selectionModel());
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frozen->verticalHeader()->hide();
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_frozen->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    m_frozen->setFont(font());
    m_frozen->horizontalHeader()->setFont(horizontalHeader()->font());
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_frozen->setColumnHidden(c, true);
    m_frozen->setColumnWidth(0, columnWidth(0));
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    viewport()->stackUnder(m_frozen);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                if (logical == 0 && m_frozen) {
                    m_frozen->setColumnWidth(0, size);
                    updateFrozenGeometry();
                }
            });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    m_frozen->show();
    updateFrozenGeometry();
}

void DBGrid::updateFrozenGeometry()
{
    if (!m_frozen)
        return;
    m_frozen->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                          viewport()->height() + horizontalHeader()->height());
}

void DBGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

QModelIndex DBGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    // Keep the moving cell out from under the frozen column.
    if (m_frozen && cursorAction == MoveLeft && current.column() > 0 &&
        visualRect(current).topLeft().x() < m_frozen->columnWidth(0)) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() -
                             m_frozen->columnWidth(0);
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void DBGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!m_frozen || index.column() > 0)
        QTableView::scrollTo(index, hint);
}

void DBGrid::syncFromTable()
{
    Table* t = table();
    const int row = t->currentRow();
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    if (currentIndex().row() == row)
        return;
    m_syncing = true;
    const int col = std::max(currentIndex().column(), 0);
    selectionModel()->setCurrentIndex(
        m_model->index(row, col), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_syncing = false;
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    viewport()->update(visualRect(previous));
    viewport()->update(visualRect(current));
    if (m_syncing || !current.isValid())
        return;
    Table* t = table();
    if (current.row() == t->currentRow())
        return;
    guarded(this, [&] { t->moveTo(current.row()); });
    // A refused store keeps the cursor where it was; so does the grid.
    if (t->currentRow() != current.row())
        QTimer::singleShot(0, this, [this] { syncFromTable(); });
}

bool DBGrid::currentIsUntouchedNewRow() const
{
    const Table* t = table();
    return t->state() == Table::State::Insert && !t->isModified();
}

void DBGrid::goNextColumn(bool leaveAtEnd)
{
    const QModelIndex cur = currentIndex();
    const int last = m_model->columnCount() - 1;
    if (cur.isValid() && cur.column() < last) {
        setCurrentIndex(m_model->index(cur.row(), cur.column() + 1));
        return;
    }
    if (leaveAtEnd) {
        // The item view's own override would send the Tab back here.
        QWidget::focusNextPrevChild(true);
        return;
    }
    // Enter on the last column goes on to the first column of the next row.
    if (cur.isValid() && cur.row() + 1 < m_model->rowCount())
        setCurrentIndex(m_model->index(cur.row() + 1, 0));
}

void DBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (hint == QAbstractItemDelegate::EditNextItem) {
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        goNextColumn(m_lastEditorKey == LastKey::Tab);
        m_lastEditorKey = LastKey::Other;
        return;
    }
    if (hint == QAbstractItemDelegate::EditPreviousItem) {
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        const QModelIndex cur = currentIndex();
        if (cur.column() > 0)
            setCurrentIndex(m_model->index(cur.row(), cur.column() - 1));
        return;
    }
    QTableView::closeEditor(editor, hint);
}

void DBGrid::deleteCurrentRow()
{
    Table* t = table();
    if (!t->isOpen() || t->rowCount() == 0)
        return;
    if (t->state() == Table::State::Insert) {
        guarded(this, [t] { t->cancel(); });
        return;
    }
    if (!confirmDeleteRecord(this))
        return;
    guarded(this, [t] { t->remove(); });
}

void DBGrid::watchEditor(QWidget* editor, const QModelIndex& index)
{
    const QPersistentModelIndex at(index);
    auto changed = [this, at] { editorChanged(at); };
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        connect(combo, qOverload<int>(&QComboBox::activated), this, [combo, changed] {
            combo->setProperty(kPicked, true);
            changed();
        });
    }
    if (QLineEdit* line = editorLine(editor))
        connect(line, &QLineEdit::textEdited, this, changed);
}

void DBGrid::editorChanged(const QPersistentModelIndex& index)
{
    // The first key typed into a cell begins editing the row, as in any data grid: the
    // navigator's store and cancel buttons are then available.
    Table* t = table();
    if (!t->isOpen() || t->isEditing() || t->isNotifying() || index.row() != t->currentRow())
        return;
    guarded(this, [t] { t->edit(); });
}

bool DBGrid::commitEditor(QWidget* editor)
{
    if (!editorChangedByUser(editor))
        return true;
    const QModelIndex index = indexAt(editor->geometry().center());
    const QModelIndex at = index.isValid() ? index : currentIndex();
    const bool ok = guarded(this, [&] { m_model->write(at, editorValue(editor)); });
    if (ok)
        clearEditorChanged(editor);
    else
        editor->setFocus();
    return ok;
}

void DBGrid::writeOpenEditors()
{
    Table* t = table();
    const int row = t->currentRow();
    if (row < 0 || row >= m_model->rowCount())
        return;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const QModelIndex index = m_model->index(row, c);
        QWidget* editor = indexWidget(index);
        if (!editor || !editorChangedByUser(editor))
            continue;
        m_model->write(index, editorValue(editor)); // a refusal stops the store
        clearEditorChanged(editor);
    }
}

void DBGrid::closeOpenEditors()
{
    // A grid has at most one cell editor open, in its current row.
    if (state() != EditingState)
        return;
    const int row = currentIndex().row();
    for (int c = 0; row >= 0 && c < m_model->columnCount(); ++c) {
        if (QWidget* editor = indexWidget(m_model->index(row, c))) {
            clearEditorChanged(editor);
            QTableView::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        }
    }
}

void DBGrid::goToFirstEditableColumn()
{
    const int row = std::max(table()->currentRow(), 0);
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const QModelIndex index = m_model->index(row, c);
        if (m_model->flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)) {
            setCurrentIndex(index);
            static_cast<QAbstractItemView*>(this)->scrollTo(index);
            return;
        }
    }
}

void DBGrid::keyboardSearch(const QString&)
{
    // Typing into a grid never jumps to another row.
}

void DBGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex at = indexAt(event->position().toPoint());
    m_pressedOnCurrent = at.isValid() && at == currentIndex() && state() != EditingState;
    QTableView::mousePressEvent(event);
}

void DBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    if (m_pressedOnCurrent && event->button() == Qt::LeftButton && at.isValid() &&
        at == currentIndex() && state() != EditingState && !isReadOnly())
        edit(at);
    m_pressedOnCurrent = false;
}

void DBGrid::keyPressEvent(QKeyEvent* event)
{
    Table* t = table();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (isReadOnly()) {
        // Enter and Esc belong to the window (its default and cancel buttons).
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
            event->key() == Qt::Key_Escape || event->key() == Qt::Key_Tab) {
            event->ignore();
            return;
        }
        QTableView::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Insert:
        guarded(this, [t] { t->insert(); });
        return;
    case Qt::Key_Delete:
        if (ctrl) {
            deleteCurrentRow();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (t->isEditing()) {
            guarded(this, [t] { t->cancel(); });
            return;
        }
        break;
    case Qt::Key_Down:
        if (!ctrl && t->isOpen() && (t->rowCount() == 0 || t->currentRow() == t->rowCount() - 1)) {
            // The key may come from an open editor: what it holds counts.
            if (!guarded(this, [t] { t->updateRecord(); }))
                return;
            if (currentIsUntouchedNewRow())
                return;
            guarded(this, [t] {
                t->next();
                if (t->eof() && !t->isEditing())
                    t->append();
            });
            return;
        }
        break;
    case Qt::Key_Up:
        if (!guarded(this, [t] { t->updateRecord(); }))
            return;
        if (currentIsUntouchedNewRow()) {
            guarded(this, [t] { t->cancel(); });
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        goNextColumn(false);
        return;
    case Qt::Key_Tab:
        goNextColumn(true);
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

} // namespace bankprep
