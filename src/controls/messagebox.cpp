#include "controls/messagebox.h"

#include "core/data/dberror.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QList>
#include <QQueue>

namespace bankprep {

namespace {

struct TestState
{
    bool testMode = false;
    QQueue<MessageBox::Button> answers;
    QList<MessageBox::Shown> shown;
    QQueue<std::function<int(QDialog*)>> handlers;
    int unexpectedDialogs = 0;
};

TestState& state()
{
    static TestState s;
    return s;
}

} // namespace

QString applicationTitle()
{
    return QStringLiteral("网上银行批预处理子系统");
}

MessageBox::Button MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                    const QString& text, Buttons buttons, Button defaultButton)
{
    TestState& s = state();
    if (s.testMode) {
        Button answer = defaultButton;
        if (!s.answers.isEmpty())
            answer = s.answers.dequeue();
        else if (answer == QMessageBox::NoButton)
            answer = (buttons & QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
        s.shown.append({icon, title, text, answer});
        return answer;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    // The program's own texts on the standard buttons.
    static const QList<QPair<Button, const char*>> captions = {
        {QMessageBox::Ok, "确定"},    {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是"},
        {QMessageBox::No, "否"},      {QMessageBox::Save, "保存"},   {QMessageBox::Discard, "放弃"},
        {QMessageBox::Retry, "重试"}, {QMessageBox::Abort, "中止"},
    };
    for (const auto& [button, caption] : captions) {
        if (QAbstractButton* b = box.button(button))
            b->setText(QString::fromUtf8(caption));
    }
    return Button(box.exec());
}

MessageBox::Button MessageBox::question(QWidget* parent, const QString& title, const QString& text,
                                        Buttons buttons, Button defaultButton)
{
    return show(parent, QMessageBox::Question, title, text, buttons, defaultButton);
}

MessageBox::Button MessageBox::information(QWidget* parent, const QString& title,
                                           const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::Information, title, text, buttons, QMessageBox::NoButton);
}

MessageBox::Button MessageBox::warning(QWidget* parent, const QString& title, const QString& text,
                                       Buttons buttons)
{
    return show(parent, QMessageBox::Warning, title, text, buttons, QMessageBox::NoButton);
}

MessageBox::Button MessageBox::critical(QWidget* parent, const QString& title, const QString& text,
                                        Buttons buttons)
{
    return show(parent, QMessageBox::Critical, title, text, buttons, QMessageBox::NoButton);
}

void MessageBox::error(QWidget* parent, const QString& text)
{
    critical(parent, applicationTitle(), text);
}

void MessageBox::notice(QWidget* parent, const QString& text)
{
    show(parent, QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::setNextAnswer(Button answer)
{
    state().testMode = true;
    state().answers.enqueue(answer);
}

void MessageBox::enableTestMode()
{
    state().testMode = true;
}

QList<MessageBox::Shown> MessageBox::takeShown()
{
    QList<Shown> out;
    out.swap(state().shown);
    return out;
}

int MessageBox::pendingAnswers()
{
    return int(state().answers.size());
}

int Modal::exec(QDialog* dialog)
{
    TestState& s = state();
    if (!s.handlers.isEmpty()) {
        auto handler = s.handlers.dequeue();
        return handler(dialog);
    }
    if (s.testMode) {
        ++s.unexpectedDialogs;
        dialog->reject();
        return QDialog::Rejected;
    }
    return dialog->exec();
}

void Modal::setNextHandler(std::function<int(QDialog*)> handler)
{
    state().testMode = true;
    state().handlers.enqueue(std::move(handler));
}

int Modal::pendingHandlers()
{
    return int(state().handlers.size());
}

int Modal::unexpectedDialogs()
{
    return state().unexpectedDialogs;
}

void setupFixedDialog(QDialog* dialog, const QString& objectName, const QString& title,
                      bool passwordFont)
{
    dialog->setObjectName(objectName);
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    if (passwordFont) {
        QFont f(QStringLiteral("Tahoma"));
        f.setPixelSize(13);
        dialog->setFont(f);
        dialog->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    }
}

void reportError(QWidget* parent, const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AbortError&) {
        // A quiet stop: its own notice, if any, was already shown.
    } catch (const DbError& e) {
        MessageBox::error(parent, e.message());
    } catch (const std::exception& e) {
        MessageBox::error(parent, describeError(e));
    } catch (...) {
        MessageBox::error(parent, QStringLiteral("发生了未知错误。"));
    }
}

bool guarded(QWidget* parent, const std::function<void()>& f)
{
    try {
        f();
        return true;
    } catch (...) {
        reportError(parent, std::current_exception());
        return false;
    }
}

} // namespace bankprep
