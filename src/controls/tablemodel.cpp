#include "controls/tablemodel.h"

#include "controls/messagebox.h"

namespace bankprep {

TableModel::TableModel(Table* table, const QList<GridColumn>& columns, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_columns(columns)
{
    resolveFields();
    m_lastCurrent = m_table->currentRow();
    connect(m_table, &Table::aboutToReset, this, [this] { beginResetModel(); });
    connect(m_table, &Table::wasReset, this, [this] {
        endResetModel();
        m_lastCurrent = m_table->currentRow();
    });
    connect(m_table, &Table::rowAboutToBeInserted, this,
            [this](int row) { beginInsertRows({}, row, row); });
    connect(m_table, &Table::rowInserted, this, [this](int) { endInsertRows(); });
    connect(m_table, &Table::rowAboutToBeRemoved, this,
            [this](int row) { beginRemoveRows({}, row, row); });
    connect(m_table, &Table::rowRemoved, this, [this](int) { endRemoveRows(); });
    connect(m_table, &Table::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rowCount()) {
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
            emit headerDataChanged(Qt::Vertical, row, row);
        }
    });
    connect(m_table, &Table::stateChanged, this, [this] {
        // The row indicator of the current row shows the state.
        const int row = m_table->currentRow();
        if (row >= 0 && row < rowCount())
            emit headerDataChanged(Qt::Vertical, row, row);
    });
    connect(m_table, &Table::currentRowChanged, this, [this](int row) {
        const int n = rowCount();
        for (int r : {m_lastCurrent, row}) {
            if (r >= 0 && r < n)
                emit headerDataChanged(Qt::Vertical, r, r);
        }
        m_lastCurrent = row;
    });
}

void TableModel::resolveFields()
{
    m_fields.clear();
    for (const GridColumn& c : m_columns)
        m_fields << m_table->fieldIndex(c.field);
}

int TableModel::columnOfField(QStringView field) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_table->isOpen() ? 0 : m_table->rowCount();
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const GridColumn& col = m_columns.at(index.column());
    const int field = m_fields.at(index.column());
    if (field < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        if (col.checkBox)
            return {};
        // Amounts in the currency format; their editor shows the plain number.
        if (m_table->field(field).column.kind == ColumnKind::Money) {
            const QVariant v = m_table->valueAt(index.row(), field);
            if (v.metaType() == QMetaType::fromType<Money>())
                return v.value<Money>().toDisplayString();
        }
        return m_table->textAt(index.row(), field);
    }
    case Qt::EditRole:
        return m_table->textAt(index.row(), field);
    case Qt::CheckStateRole:
        if (!col.checkBox)
            return {};
        return m_table->textAt(index.row(), field) == yes() ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        if (m_table->field(field).column.kind == ColumnKind::Money)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole: {
        // A text cut by the column shows whole in its tooltip.
        const QString t = col.checkBox ? QString() : m_table->textAt(index.row(), field);
        return t.size() > col.widthChars ? t : QVariant();
    }
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
            return m_columns.at(section).title;
        return {};
    }
    if (role == Qt::DisplayRole) {
        // The row indicator: the current row, a new row, a row being edited.
        if (section != m_table->currentRow())
            return QString();
        if (m_table->state() == Table::State::Insert)
            return QStringLiteral("*");
        if (m_table->state() == Table::State::Edit)
            return QStringLiteral("I");
        return QStringLiteral("▶");
    }
    return {};
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int field = m_fields.at(index.column());
    if (field < 0)
        return f;
    const FieldDef& fd = m_table->field(field);
    if (m_readOnly)
        return f;
    if (!m_columns.at(index.column()).editField.isEmpty())
        return f | Qt::ItemIsEditable;
    if (fd.kind == FieldDef::Kind::Calculated || fd.column.kind == ColumnKind::Key)
        return f;
    if (m_columns.at(index.column()).checkBox)
        return f | Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsEditable;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    bool written = false;
    guarded(nullptr, [&] { written = write(index, value, role); });
    return written;
}

bool TableModel::write(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || !(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)))
        return false;
    const int field = m_fields.at(index.column());
    const QString& editField = m_columns.at(index.column()).editField;
    const QString name = editField.isEmpty() ? m_table->field(field).column.name : editField;
    const bool checkBox = m_columns.at(index.column()).checkBox;
    if (role != Qt::EditRole && !(checkBox && role == Qt::CheckStateRole))
        return false;
    // A view reacting to the table's own change never writes back into it.
    if (m_table->isNotifying())
        return false;
    const bool isCheckToggle = checkBox && role == Qt::CheckStateRole;
    // A typed text belongs to the row its editor was opened on: when that row is no
    // longer the current one, the text is not written into another row. (Views write
    // their editors into the row before the table leaves it.) A click on a check box
    // of another row moves there first, as any click does.
    if (!isCheckToggle && index.row() != m_table->currentRow())
        return false;
    if (index.row() != m_table->currentRow())
        m_table->moveTo(index.row());
    if (index.row() != m_table->currentRow())
        return false;
    if (isCheckToggle) {
        const bool checked = Qt::CheckState(value.toInt()) == Qt::Checked;
        m_table->editValue(name, checked ? yes() : no());
        return true;
    }
    const QString text = value.toString();
    if (text == m_table->text(name))
        return true; // nothing changed: an untouched row stays untouched
    m_table->editValue(name, text);
    return true;
}

} // namespace bankprep
