#include "guifixture.h"

#include "controls/messagebox.h"
#include "core/data/connection.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"

#include <QtTest>

using namespace bankprep;

namespace testutil {

void GuiFixture::newWorkspace(bool withSchema)
{
    MessageBox::enableTestMode();
    ws = std::make_unique<Workspace>();
    if (withSchema) {
        Connection c;
        c.open(ws->path());
    }
}

void GuiFixture::startProgram()
{
    MessageBox::enableTestMode();
    in.reset(); // never two programs on one file
    in = std::make_unique<Instances>();
    in->create(ws->path());
    in->AppForm->setLoginOnFirstShow(false);
    MessageBox::takeShown();
}

void GuiFixture::logIn()
{
    Modal::setNextHandler([](QDialog* d) {
        auto* dlg = static_cast<TPasswordDlg*>(d);
        dlg->OKBtnClick();
        return dlg->result();
    });
    in->AppForm->LoginClick();
    MessageBox::takeShown();
}

void GuiFixture::tearDown()
{
    in.reset();
    ws.reset();
    QCOMPARE(Modal::pendingHandlers(), 0);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
}

} // namespace testutil
