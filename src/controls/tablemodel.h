#pragma once

#include "core/data/names.h"
#include "core/data/table.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace bankprep {

// One column of a grid: the field it shows, its width in characters and its title.
struct GridColumn
{
    GridColumn(QString f = {}, int width = 10, QString t = {}, bool check = false)
        : field(std::move(f)), widthChars(width), title(std::move(t)), checkBox(check)
    {
    }
    QString field;
    int widthChars = 10;
    QString title;
    bool checkBox = false; // shows a check box storing "是"/"否"
    enum class Editor
    {
        Text,
        Lookup,
        Combo
    };
    Editor editor = Editor::Text;
    QString editField; // the stored field an edit of this column writes (default: field)
    // A drop-down's list: its column titles, the column shown and searched, and whether
    // the clear key empties the cell.
    QStringList comboTitles;
    int comboSearchColumn = 0;
    bool comboClearable = false;
};

// An item model over a table object. Every view built on it shares the table's current
// row, filter and sort: the model asks the table for everything and follows its signals.
class TableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    TableModel(Table* table, const QList<GridColumn>& columns, QObject* parent = nullptr);

    Table* table() const { return m_table; }
    const GridColumn& column(int c) const { return m_columns.at(c); }
    int fieldOf(int column) const { return m_fields.at(column); }
    int columnOfField(QStringView field) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Reports a refusal (an amount that is not a number) in the default error display.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // The same, throwing DbError instead (for a store that must stop on a bad value).
    bool write(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole);

    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    static QString yes() { return YesText; }
    static QString no() { return NoText; }

private:
    void resolveFields();

    Table* m_table;
    QList<GridColumn> m_columns;
    QList<int> m_fields;
    int m_lastCurrent = -1;
    bool m_readOnly = false;
};

} // namespace bankprep
