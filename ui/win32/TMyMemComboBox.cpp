#include "ui/win32/TMyMemComboBox.h"

#include "settings/TRegConfigFile.h"
#include "ui/DoCommand.h"

std::unique_ptr<TConfigFile> TMyMemComboBox::CreateConfigFile() {
    return std::make_unique<TRegConfigFile>(kProgramStoreName);
}
