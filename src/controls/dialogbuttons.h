#pragma once

#include <QString>
#include <initializer_list>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace bankprep {

// The closing buttons of a dialog: the one that confirms and the one that dismisses.
struct DialogButtons
{
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

enum class DefaultButton
{
    Ok,  // Enter presses the confirming button
    None // Enter presses the button that has the focus
};

// Makes the two buttons on `parent`, the confirming one first, so that Tab goes from it
// to the other. Captions are taken as written, shortcut letters included ("&Yes"); an
// empty object name leaves the button unnamed.
DialogButtons makeDialogButtons(QWidget* parent, const QString& okText, const QString& cancelText,
                                const QString& okName = {}, const QString& cancelName = {},
                                DefaultButton defaultButton = DefaultButton::Ok);

enum class RowPlacement
{
    Right, // after a stretch, at the right end of the row
    Left   // packed at the left
};

// The row the two buttons sit in, confirming button first. `leading` widgets go before
// them at the left end. With a `panel` the row is that widget's layout; otherwise the
// caller adds it to the dialog's layout.
QHBoxLayout* buttonRow(const DialogButtons& buttons, RowPlacement placement = RowPlacement::Right,
                       std::initializer_list<QWidget*> leading = {}, QWidget* panel = nullptr);

} // namespace bankprep
