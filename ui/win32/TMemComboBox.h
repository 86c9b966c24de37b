#pragma once

#include <memory>
#include <string>

#include "framework/win32/ui/TComboBox.h"

class TConfigFile;

// An editable drop-down list that remembers its recent entries in a store: it loads them when
// its dialog sets up, moves the text in use to the top whenever it loses the focus, and saves
// the most recent HistorySize entries when its dialog's window is destroyed. The rules of the
// history are History's; this class only copies between it and the control.
class TMemComboBox : public TComboBox {
public:
    TMemComboBox(TDialog* parent,
                 int id,
                 std::string historyName,
                 unsigned textLimit,
                 unsigned historySize);

    const std::string& GetHistoryName() const { return historyName_; }
    unsigned GetHistorySize() const { return historySize_; }

    void SetupWindow() override;
    void CleanupWindow() override;
    void EvNotify(unsigned code) override;

protected:
    // A new store for one load or one save.
    virtual std::unique_ptr<TConfigFile> CreateConfigFile();
    // Puts `text` at the top of the list, dropping the entry equal to it (letter case ignored).
    virtual void AddToHistory(const std::string& text);
    virtual std::string GetSectionPrefix() const;

private:
    std::string Section() const { return GetSectionPrefix() + historyName_; }

    std::string historyName_;
    unsigned historySize_;
};
