#include <windows.h>

#include <string>

#include "ui/win32/ReplaceApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int cmdShow) {
    ReplaceApp app(instance, cmdShow, std::string(ArgumentPart(::GetCommandLineA())));
    return app.Run();
}
