#pragma once
#include <QString>

// What the Options dialog does to the running program: the main window, its
// scan timer and labels, the tray icon and the line table. The main window
// implements it.
class OptionsHost {
public:
    virtual ~OptionsHost() = default;
    virtual void SetTimer1Enabled(bool enabled) = 0;
    // Shown modeless, or hidden.
    virtual void SetMainWindowVisible(bool visible) = 0;
    // Each null QString leaves that label alone.
    virtual void SetLabels(const QString& lblSample, const QString& lblSampleTime,
                           const QString& lblSaveRate, const QString& lblLastSave) = 0;
    virtual void SetSampleLabelVisible(bool visible) = 0;
    virtual void AddTrayIcon() = 0;     // record filled, NIM_ADD
    virtual void DeleteTrayIcon() = 0;  // NIM_DELETE with the same record
    virtual void BuildLineTable() = 0;
    virtual void OpenHelp() = 0;
    virtual QString CurrentTimeText() const = 0;
};
