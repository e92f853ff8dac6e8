#include "settingsstore.h"

namespace {

QString wholeCharacters(QString text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>

namespace {

constexpr int Utf8Mib = 106;

// Qt 5's UTF-8 codec for QSettings. QSettings encodes a value one UTF-16 unit at a time and
// without state, so Qt's own UTF-8 codec would drop both halves of a surrogate pair (any character
// beyond U+FFFF, such as an emoji); this one keeps the first half until the second arrives.
class IniUtf8Codec : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("Kolvane-INI-UTF-8"); }
    int mibEnum() const override { return PrivateMib; }

protected:
    QString convertToUnicode(const char *input, int length, ConverterState *state) const override
    {
        return utf8->toUnicode(input, length, state);
    }
    QByteArray convertFromUnicode(const QChar *input, int length, ConverterState *state) const override
    {
        return utf8->fromUnicode(input, length, state ? state : &pendingHalf);
    }

private:
    static constexpr int PrivateMib = -1; // not a registered character set
    const QTextCodec *utf8 = QTextCodec::codecForMib(Utf8Mib);
    // Settings are written on one thread, so one pending half is enough.
    mutable ConverterState pendingHalf{QTextCodec::IgnoreHeader};
};

QTextCodec *iniUtf8Codec()
{
    // Made once; Qt owns every codec and deletes it at exit.
    static QTextCodec *const codec = new IniUtf8Codec;
    return codec;
}

} // namespace
#endif

SettingsStore::SettingsStore()
{
    useUtf8();
    mendHalfCharacters();
}

SettingsStore::SettingsStore(const QString &iniFile) : QSettings(iniFile, QSettings::IniFormat)
{
    useUtf8();
    mendHalfCharacters();
}

SettingsStore::~SettingsStore()
{
    // Before the base class writes the file.
    mendHalfCharacters();
}

void SettingsStore::mendHalfCharacters()
{
    for (const QString &key : allKeys()) {
        const QVariant stored = value(key);
        QVariant mended;
        if (stored.userType() == QMetaType::QString) {
            mended = wholeCharacters(stored.toString());
        } else if (stored.userType() == QMetaType::QStringList) {
            QStringList list = stored.toStringList();
            for (QString &text : list)
                text = wholeCharacters(text);
            mended = list;
        }
        if (mended.isValid() && mended != stored)
            setValue(key, mended);
    }
}

void SettingsStore::useUtf8()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    setIniCodec(iniUtf8Codec());
#endif
}
