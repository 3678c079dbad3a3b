#include "controls/lookupcombo.h"

#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTableView>

namespace bankprep {

namespace {

constexpr int kValueRole = Qt::UserRole + 1;

} // namespace

LookupCombo::LookupCombo(QWidget* parent)
    : QComboBox(parent), m_model(new QStandardItemModel(this)), m_list(new QTableView(this))
{
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(m_model);
    setView(m_list); // the combo box takes the list over
}

void LookupCombo::setRows(const QStringList& titles, const QList<Row>& rows, int searchColumn)
{
    m_model->clear();
    m_model->setHorizontalHeaderLabels(titles);
    for (const Row& r : rows) {
        QList<QStandardItem*> items;
        for (const QString& cell : r.cells) {
            auto* item = new QStandardItem(cell);
            item->setData(r.value, kValueRole);
            items << item;
        }
        m_model->appendRow(items);
    }
    setModelColumn(searchColumn);
    m_list->resizeColumnsToContents();
    m_list->setMinimumWidth(m_list->horizontalHeader()->length() + 24);
    setCurrentIndex(-1);
    m_search.clear();
}

int LookupCombo::findValue(const QVariant& value) const
{
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->item(r, modelColumn())->data(kValueRole).toString() == value.toString())
            return r;
    }
    return -1;
}

QVariant LookupCombo::currentValue() const
{
    // No row chosen is the empty value.
    if (currentIndex() < 0)
        return QStringLiteral("");
    return m_model->item(currentIndex(), modelColumn())->data(kValueRole);
}

void LookupCombo::choose(int row)
{
    setCurrentIndex(row);
    emit activated(row); // a choice of the clerk's, as a click in the list is
}

void LookupCombo::keyPressEvent(QKeyEvent* event)
{
    if (isEditable()) {
        QComboBox::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Delete && m_clearable) {
        m_search.clear();
        choose(-1);
        return;
    }
    const bool back = event->key() == Qt::Key_Backspace;
    const QString typed = event->text();
    if (!back && (typed.isEmpty() || !typed.at(0).isPrint())) {
        m_search.clear();
        QComboBox::keyPressEvent(event);
        return;
    }
    if (back)
        m_search.chop(1);
    else
        m_search += typed;
    searchTyped();
}

void LookupCombo::inputMethodEvent(QInputMethodEvent* event)
{
    // Chinese typed through an input method arrives as its characters, not as keys: they
    // narrow the search as typed keys do (the pinyin being composed does not).
    if (isEditable()) {
        QComboBox::inputMethodEvent(event);
        return;
    }
    if (event->commitString().isEmpty())
        return;
    m_search += event->commitString();
    searchTyped();
}

void LookupCombo::searchTyped()
{
    if (m_opensOnTyping && !view()->isVisible()) {
        search();
        showPopup(); // the list takes the next keys
        return;
    }
    if (m_search.isEmpty())
        return;
    search();
}

void LookupCombo::focusInEvent(QFocusEvent* event)
{
    // A box without typing still takes an input method's characters for its search
    // (QComboBox turns the input method off when it is not editable).
    if (!isEditable())
        setAttribute(Qt::WA_InputMethodEnabled);
    QComboBox::focusInEvent(event);
}

void LookupCombo::search()
{
    if (m_search.isEmpty())
        return;
    // The first row whose shown text begins with what was typed.
    const int column = modelColumn();
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->item(r, column)->text().startsWith(m_search, Qt::CaseInsensitive)) {
            if (r != currentIndex())
                choose(r);
            return;
        }
    }
}

void LookupCombo::focusOutEvent(QFocusEvent* event)
{
    m_search.clear();
    QComboBox::focusOutEvent(event);
}

} // namespace bankprep
