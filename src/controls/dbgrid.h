#pragma once

#include "controls/lookupcombo.h"
#include "controls/tablemodel.h"

#include <QPointer>
#include <QTableView>
#include <functional>

namespace bankprep {

class DataSource;

// An editable grid bound to a data source. The grid's current row is the table's
// current row, in both directions. Keys: Enter and Tab go to the next column (Tab
// leaves the grid after the last one), Insert starts a new row, Down on the last row
// appends one, Up or Esc on an untouched new row drops it, Ctrl+Delete deletes the
// current row after a question. Check-box columns toggle with one click or Space.
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    DBGrid(DataSource* source, const QList<GridColumn>& columns, QWidget* parent = nullptr);
    ~DBGrid() override;

    TableModel* tableModel() const { return m_model; }
    Table* table() const;
    DataSource* dataSource() const { return m_source; }

    // A read-only grid only moves the cursor: no editing, no new or deleted rows.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_model->isReadOnly(); }
    // Keeps the first column in place when the grid scrolls sideways.
    void setFrozenFirstColumn(bool frozen);
    void setCellFont(const QFont& font);
    void setTitleFont(const QFont& font);
    // Deletes the current row after the confirmation question.
    void deleteCurrentRow();
    // Sizes the columns from their widths in characters.
    void applyColumnWidths();
    // The current row's first column the clerk can edit becomes the current cell.
    void goToFirstEditableColumn();

    // Rows of a drop-down column: the texts of its list columns and the value written.
    std::function<QList<LookupCombo::Row>(int column)> comboItems;

    enum class LastKey
    {
        Other,
        Tab,
        Enter
    };
    LastKey lastEditorKey() const { return m_lastEditorKey; }
    void setLastEditorKey(LastKey k) { m_lastEditorKey = k; }

    // ---- the cell editors (used by the grid's delegate) ----
    // Follows the clerk's changes in a new editor.
    void watchEditor(QWidget* editor, const QModelIndex& index);
    // Writes a changed editor into the row; false (after the message) when refused.
    bool commitEditor(QWidget* editor);

    static const QAbstractItemView::EditTriggers kEditTriggers;

signals:
    // The button of a lookup cell was pressed (the cell's editor is closed first).
    void lookupRequested(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void resizeEvent(QResizeEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    void editorChanged(const QPersistentModelIndex& index);
    void writeOpenEditors(); // throws DbError
    void closeOpenEditors();
    void syncFromTable();
    void updateFrozenGeometry();
    bool currentIsUntouchedNewRow() const;
    void goNextColumn(bool leaveAtEnd);

    DataSource* m_source;
    TableModel* m_model;
    QTableView* m_frozen = nullptr;
    bool m_syncing = false;
    bool m_pressedOnCurrent = false;
    QPointer<Table> m_updatedTable; // may go before the grid in tests
    LastKey m_lastEditorKey = LastKey::Other;
};

// Whether the clerk changed an editor since it was filled (typed, or picked an item).
bool editorChangedByUser(QWidget* editor);
void clearEditorChanged(QWidget* editor);

// The question asked before a row is deleted from a grid or a navigator.
bool confirmDeleteRecord(QWidget* parent);

} // namespace bankprep
