#pragma once

#include "framework/win32/ui/TControl.h"

// A date or time picker of a dialog template.
class TDateTimePicker : public TControl {
public:
    using TControl::TControl;

    // The picker's value; a zero-filled record when it has none.
    SYSTEMTIME GetSystemTime() const;
    void SetSystemTime(const SYSTEMTIME& time);
};
