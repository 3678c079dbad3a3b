#pragma once

#include <QString>

class QWidget;

namespace bankprep {

// The application title, used as the caption of the default error display and of the
// plain notices.
QString applicationTitle();

// The default error display: a message box titled with the application title, a stop
// icon and an OK button.
void showErrorMessage(QWidget* parent, const QString& text);

} // namespace bankprep
