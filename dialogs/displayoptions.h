#pragma once

#include "meterscale.h"

#include <QDialog>

#include <optional>

namespace Ui {
class CDisplayOptions;
}

// The metering switches the dialog edits; the window stores and applies them as its meter options.
struct MeterChoices
{
    static constexpr double MinThresholdDb = -49.0;
    static constexpr double MaxThresholdDb = 0.0;
    static constexpr int MinDelayS = 1;
    static constexpr int MaxDelayS = 3600;

    bool peakHold = false;
    bool overIndicator = false;
    bool silenceAlarm = false;
    double silenceThresholdDb = -40.0;
    int silenceDelayS = 10;
    // The scale the meters show; the levels and the silence threshold stay in the frames' dB.
    MeterScale::Id scale = MeterScale::Din;

    bool operator==(const MeterChoices &other) const
    {
        return peakHold == other.peakHold && overIndicator == other.overIndicator &&
               silenceAlarm == other.silenceAlarm && silenceThresholdDb == other.silenceThresholdDb &&
               silenceDelayS == other.silenceDelayS && scale == other.scale;
    }
    bool operator!=(const MeterChoices &other) const { return !(*this == other); }
};

// The web view's place on the network: its port (0: off) and the address it listens on.
struct WebChoices
{
    int port = 0;
    QString bind = QStringLiteral("127.0.0.1");

    bool operator==(const WebChoices &other) const { return port == other.port && bind == other.bind; }
    bool operator!=(const WebChoices &other) const { return !(*this == other); }
};

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
    bool pixelShift = false; // the picture moves a little now and then against burn-in
    // Shown in the dialog only when the display has a signal timeout to offer.
    std::optional<int> signalTimeoutMs;
    // Likewise shown only when the display has meters to offer them for.
    std::optional<MeterChoices> metering;
    // And the web view, when the display has one.
    std::optional<WebChoices> web;

    bool operator==(const DisplayOptions &other) const
    {
        return fullScreen == other.fullScreen && hideCursorSeconds == other.hideCursorSeconds &&
               keepScreenAwake == other.keepScreenAwake && startAtLogin == other.startAtLogin &&
               pixelShift == other.pixelShift && signalTimeoutMs == other.signalTimeoutMs &&
               metering == other.metering && web == other.web;
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
    bool offersMetering;
    bool offersWeb;
    double givenThresholdDb = 0.0;
    double shownThresholdDb = 0.0;
};
