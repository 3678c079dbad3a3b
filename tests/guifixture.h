#pragma once

// The desktop program's objects for a GUI test, started as the program starts them:
// every window and the data module, the hidden lookup lists and pickers over the same
// tables included, on a database file in a fresh folder; message boxes and modal
// dialogs are answered in advance (MessageBox and Modal test mode).
//
// A test class derives from it and calls, from init(): newWorkspace(), then fills the
// database, then startProgram() and logIn(); from cleanup(): tearDown().

#include "testutil.h"
#include "windows/application.h"

#include <memory>

namespace testutil {

class GuiFixture
{
protected:
    // A fresh folder. With `withSchema` the database file is created there with its
    // tables, for the test to fill before startProgram().
    void newWorkspace(bool withSchema = true);
    // Every window and the data module over the folder's data.db, created as at
    // start-up; its first showing runs no login (the test logs in). The message boxes
    // shown so far are taken.
    void startProgram();
    // The login as the clerk makes it: the login window's OK with its password field as
    // it is (empty: the stored password of a new database). The message boxes shown are
    // taken.
    void logIn();
    // The program's objects go, then the folder. No dialog handler and no message-box
    // answer is left waiting.
    void tearDown();

    bankprep::TAppForm& form() { return *in->AppForm; }
    bankprep::TDataModule2& dm() { return in->DataModule2; }

    std::unique_ptr<Workspace> ws;
    std::unique_ptr<bankprep::Instances> in;
};

} // namespace testutil
