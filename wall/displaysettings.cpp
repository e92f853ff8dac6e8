#include "displaysettings.h"

#include <QSettings>

namespace {

const QString FullScreenKey = QStringLiteral("full_screen");
const QString HideCursorKey = QStringLiteral("hide_cursor_s");
const QString KeepAwakeKey = QStringLiteral("keep_screen_awake");
const QString PixelShiftKey = QStringLiteral("pixel_shift");

// A native store gives bools back as they were written, an INI file as the text "true" or "false".
bool boolOr(const QVariant &value, bool fallback)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    if (value.userType() != QMetaType::QString)
        return fallback;
    const QString text = value.toString().trimmed();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

int countOr(const QVariant &value, int fallback, int maximum)
{
    bool ok = false;
    qlonglong number = 0;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        number = value.toLongLong(&ok);
        break;
    case QMetaType::QString:
        number = value.toString().trimmed().toLongLong(&ok);
        break;
    default:
        break;
    }
    return ok && number >= 0 && number <= maximum ? int(number) : fallback;
}

} // namespace

namespace DisplaySettings {

DisplayOptions read(const QSettings &settings)
{
    DisplayOptions options;
    options.fullScreen = boolOr(settings.value(FullScreenKey), options.fullScreen);
    options.hideCursorSeconds = countOr(settings.value(HideCursorKey), options.hideCursorSeconds,
                                        DisplayOptions::MaxHideCursorSeconds);
    options.keepScreenAwake = boolOr(settings.value(KeepAwakeKey), options.keepScreenAwake);
    options.pixelShift = boolOr(settings.value(PixelShiftKey), options.pixelShift);
    return options;
}

void write(QSettings &settings, const DisplayOptions &options)
{
    settings.setValue(FullScreenKey, options.fullScreen);
    settings.setValue(HideCursorKey, options.hideCursorSeconds);
    settings.setValue(KeepAwakeKey, options.keepScreenAwake);
    settings.setValue(PixelShiftKey, options.pixelShift);
}

} // namespace DisplaySettings
