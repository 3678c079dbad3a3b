#pragma once

#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>

class QDialog;
class QWidget;

namespace bankprep {

// The application title: caption of the default error display and of plain notices.
QString applicationTitle();

// Every message box of the program goes through here, so that tests can answer them
// in advance and read what was shown (no sleeping, no real dialogs).
class MessageBox
{
public:
    using Button = QMessageBox::StandardButton;
    using Buttons = QMessageBox::StandardButtons;

    static Button question(QWidget* parent, const QString& title, const QString& text,
                           Buttons buttons = QMessageBox::Yes | QMessageBox::No,
                           Button defaultButton = QMessageBox::NoButton);
    static Button information(QWidget* parent, const QString& title, const QString& text,
                              Buttons buttons = QMessageBox::Ok);
    static Button warning(QWidget* parent, const QString& title, const QString& text,
                          Buttons buttons = QMessageBox::Ok);
    static Button critical(QWidget* parent, const QString& title, const QString& text,
                           Buttons buttons = QMessageBox::Ok);

    // The default error display: application title, stop icon, OK.
    static void error(QWidget* parent, const QString& text);
    // A plain notice: application title, OK.
    static void notice(QWidget* parent, const QString& text);

    // ---- for tests ----
    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        Button answer;
    };
    // Queue answers for the next boxes; once a test calls this (or enableTestMode),
    // boxes are never shown: an unanswered one gets its default button.
    static void setNextAnswer(Button answer);
    static void enableTestMode();
    static QList<Shown> takeShown();
    static int pendingAnswers();

private:
    static Button show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                       const QString& text, Buttons buttons, Button defaultButton);
};

// Runs modal dialogs; tests queue handlers that play the clerk's part instead.
class Modal
{
public:
    static int exec(QDialog* dialog);
    static void setNextHandler(std::function<int(QDialog*)> handler);
    static int pendingHandlers();
    // Dialogs opened in test mode without a handler are rejected at once (and counted).
    static int unexpectedDialogs();
};

// A fixed-size dialog with a title and only a close box. With `passwordFont`, the
// Tahoma 13-pixel font of the password windows, typed passwords shown as "*".
void setupFixedDialog(QDialog* dialog, const QString& objectName, const QString& title,
                      bool passwordFont = false);

// Reports an error that a command did not catch: AbortError silently, anything else in
// the default error display.
void reportError(QWidget* parent, const std::exception_ptr& error);

// Runs `f`, reporting whatever it throws. Returns false when it threw.
bool guarded(QWidget* parent, const std::function<void()>& f);

} // namespace bankprep
