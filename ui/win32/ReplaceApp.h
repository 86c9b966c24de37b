#pragma once

#include "framework/win32/ui/TApplication.h"

// Scrivox's application object: it reads the command line before any window exists and makes
// the main window, a fixed-size frame around the main dialog.
class ReplaceApp : public TApplication {
public:
    ReplaceApp(HINSTANCE instance, int cmdShow, std::string commandLine);

protected:
    void InitInstance() override;
    void BuildMainWindow() override;
};

// The show state the main window opens with: SW_HIDE and SW_SHOWMINNOACTIVE stay, anything
// else (maximized included) opens it in its normal size.
int StartupShowState(int requested);
