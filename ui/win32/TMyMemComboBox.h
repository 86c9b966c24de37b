#pragma once

#include "ui/win32/TMemComboBox.h"

// Scrivox's remembering list: its history lives beside the program's options.
class TMyMemComboBox : public TMemComboBox {
public:
    using TMemComboBox::TMemComboBox;

protected:
    std::unique_ptr<TConfigFile> CreateConfigFile() override;
};
