#pragma once

#include <QDialog>

#include <optional>

namespace Ui {
class CDisplayOptions;
}

// How the display runs on a studio wall. Full screen, the cursor and the screen saver are stored with
// the settings; starting at log-in is the autostart entry itself.
struct DisplayOptions
{
    static constexpr int MaxHideCursorSeconds = 3600;
    static constexpr int MinSignalTimeoutMs = 0; // the watch off
    static constexpr int MaxSignalTimeoutMs = 600000;

    bool fullScreen = false;
    int hideCursorSeconds = 3; // 0: the cursor is never hidden
    bool keepScreenAwake = true;
    bool startAtLogin = false;
    // Shown in the dialog only when the display has a signal timeout to offer.
    std::optional<int> signalTimeoutMs;

    bool operator==(const DisplayOptions &other) const
    {
        return fullScreen == other.fullScreen && hideCursorSeconds == other.hideCursorSeconds &&
               keepScreenAwake == other.keepScreenAwake && startAtLogin == other.startAtLogin &&
               signalTimeoutMs == other.signalTimeoutMs;
    }
};

// The modal dialog that edits the display options; the caller applies them after an accepted OK.
class CDisplayOptions : public QDialog
{
    Q_OBJECT

public:
    CDisplayOptions(QWidget *parent, const DisplayOptions &options);
    ~CDisplayOptions() override;

    // What the form holds; after OK, the options to apply.
    DisplayOptions options() const;

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();

private:
    Ui::CDisplayOptions *ui;
    bool offersSignalTimeout;
};
