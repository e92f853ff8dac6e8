#include "meteroptions.h"

#include "silencewatch.h"
#include "zelppmmeter.h"

#include <QSettings>

#include <cmath>

namespace {

const char *const PeakHoldKey = "peak_hold";
const char *const OverIndicatorKey = "over_indicator";
const char *const SilenceAlarmKey = "silence_alarm";
const char *const SilenceThresholdKey = "silence_threshold_db";
const char *const SilenceDelayKey = "silence_delay_s";
const char *const ScaleKey = "meter_scale";

// A switch stored as a bool, or as the words and numbers an edited file may hold; anything else
// gives the default.
bool readSwitch(const QSettings &settings, const char *key, bool fallback)
{
    const QVariant value = settings.value(QLatin1String(key));
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

double readNumber(const QSettings &settings, const char *key, double low, double high, double fallback)
{
    bool ok = false;
    const double value = settings.value(QLatin1String(key)).toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value >= low && value <= high ? value : fallback;
}

} // namespace

MeterOptions MeterOptions::read(const QSettings &settings)
{
    MeterOptions options;
    options.peakHold = readSwitch(settings, PeakHoldKey, options.peakHold);
    options.overIndicator = readSwitch(settings, OverIndicatorKey, options.overIndicator);
    options.silenceAlarm = readSwitch(settings, SilenceAlarmKey, options.silenceAlarm);
    options.silenceThresholdDb =
        readNumber(settings, SilenceThresholdKey, MinThresholdDb, MaxThresholdDb, options.silenceThresholdDb);
    const double delay = readNumber(settings, SilenceDelayKey, MinDelayS, MaxDelayS, options.silenceDelayS);
    // Whole seconds only: a fraction is not what the option offers.
    if (delay == std::floor(delay))
        options.silenceDelayS = int(delay);
    options.scale = MeterScale::fromKey(settings.value(QLatin1String(ScaleKey)).toString());
    return options;
}

void MeterOptions::write(QSettings &settings) const
{
    settings.setValue(QLatin1String(PeakHoldKey), peakHold);
    settings.setValue(QLatin1String(OverIndicatorKey), overIndicator);
    settings.setValue(QLatin1String(SilenceAlarmKey), silenceAlarm);
    settings.setValue(QLatin1String(SilenceThresholdKey), silenceThresholdDb);
    settings.setValue(QLatin1String(SilenceDelayKey), silenceDelayS);
    // A store that never had a scale keeps DIN as the absent key, as it has always been.
    if (scale != MeterScale::Din || settings.contains(QLatin1String(ScaleKey)))
        settings.setValue(QLatin1String(ScaleKey), QLatin1String(MeterScale::of(scale).key));
}

void MeterOptions::apply(const QList<ZelPPMMeter *> &meters, SilenceWatch *silence) const
{
    for (ZelPPMMeter *meter : meters) {
        meter->setPeakHold(peakHold);
        meter->setOverIndicator(overIndicator);
        meter->setScale(scale);
    }
    silence->setThresholdDb(silenceThresholdDb);
    silence->setDelayMs(qint64(silenceDelayS) * 1000);
    silence->setEnabled(silenceAlarm);
}
