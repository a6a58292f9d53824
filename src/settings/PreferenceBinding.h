#pragma once
#include "settings/Preference.h"

class QWidget;

// Puts a preference into its Options dialog control and reads it back, by the
// control's kind. The controls are the dialog's children, found by name.
class PreferenceBinding {
public:
    // A control whose handler listens runs it only where the shown value
    // differs from what it held.
    static void Show(QWidget& dialog, const Preference& pref, const Settings& settings);
    static Preference::Value Read(const QWidget& dialog, const Preference::Control& control);
};
