#pragma once

#include "controls/icons.h"
#include "core/data/table.h"

#include <QToolButton>
#include <QWidget>
#include <array>

namespace bankprep {

class DataSource;

// A navigator bar of 14 buttons over a data source: first, back 10, previous, next,
// forward 10, last, insert, delete, edit, store, cancel, re-read, set bookmark, go to
// bookmark. The moving buttons repeat while held (after 500 ms, then every 100 ms).
class DBNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button
    {
        First,
        Prior10,
        Prior,
        Next,
        Next10,
        Last,
        Insert,
        Delete,
        Edit,
        Post,
        Cancel,
        Refresh,
        SetBookmark,
        GotoBookmark,
        ButtonCount
    };

    explicit DBNavigator(DataSource* source, QWidget* parent = nullptr);

    QToolButton* button(Button b) const { return m_buttons[size_t(b)]; }
    // The payment page calls its store button "确认" and its bookmark button "回到书签".
    void setPaymentTooltips();
    void click(Button b);
    const Bookmark& savedBookmark() const { return m_bookmark; }

private:
    void updateButtons();

    DataSource* m_source;
    std::array<QToolButton*, ButtonCount> m_buttons{};
    Bookmark m_bookmark;
};

} // namespace bankprep
