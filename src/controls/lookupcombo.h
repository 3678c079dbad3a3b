#pragma once

#include <QComboBox>
#include <QStringList>
#include <QVariant>

class QStandardItemModel;
class QTableView;

namespace bankprep {

// A drop-down over the rows of a table, listed in titled columns with grid lines. One
// column is shown in the box and searched as the clerk types (for a box without typing:
// each key, or the characters an input method gives, narrows the search, backspace
// takes the last key back); each row writes its value. Where `clearable`, the clear key
// (Delete) empties the choice.
class LookupCombo : public QComboBox
{
    Q_OBJECT
public:
    struct Row
    {
        QStringList cells;
        QVariant value;
    };

    explicit LookupCombo(QWidget* parent = nullptr);

    void setRows(const QStringList& titles, const QList<Row>& rows, int searchColumn);
    // The row whose value is `value`, or -1.
    int findValue(const QVariant& value) const;
    QVariant currentValue() const;
    void setClearable(bool on) { m_clearable = on; }
    // The list opens by itself as soon as the clerk types.
    void setOpensOnTyping(bool on) { m_opensOnTyping = on; }
    const QString& typed() const { return m_search; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void choose(int row);
    void search();
    // After a key or an input method's characters: searches, or opens the list.
    void searchTyped();

    QStandardItemModel* m_model;
    QTableView* m_list;
    QString m_search;
    bool m_clearable = false;
    bool m_opensOnTyping = false;
};

} // namespace bankprep
