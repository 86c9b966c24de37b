#include "ui/win32/ReplaceApp.h"

#include <memory>

#include "resources/resource.h"
#include "ui/CommandLine.h"
#include "ui/ReplaceData.h"
#include "ui/win32/ReplaceClient.h"
#include "version.h"

ReplaceApp::ReplaceApp(HINSTANCE instance, int cmdShow, std::string commandLine)
    : TApplication(SCRIVOX_APP_NAME, instance, cmdShow, std::move(commandLine)) {}

void ReplaceApp::InitInstance() {
    ParseCommandLine(GetCmdLine(), ReplaceData::Instance());
    TApplication::InitInstance();
}

int StartupShowState(int requested) {
    return requested == SW_HIDE || requested == SW_SHOWMINNOACTIVE ? requested : SW_SHOWNORMAL;
}

void ReplaceApp::BuildMainWindow() {
    SetCmdShow(StartupShowState(GetCmdShow()));
    auto client = std::make_unique<ReplaceClient>(nullptr, 0, GetInstance());
    auto frame = std::make_unique<TDecoratedFrame>(nullptr, GetName(), std::move(client), false);
    frame->SetShrinkToClient(true);
    frame->SetIcon(GetInstance(), IDI_APP);
    // A caption with the system menu and its close box over a window of fixed size.
    frame->ModifyStyle(WS_DLGFRAME, WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    SetMainWindow(std::move(frame));
}
