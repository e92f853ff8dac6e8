#include "meterscale.h"

#include <algorithm>
#include <cmath>

namespace {

// The frames' alignment level; the scales below are placed through it.
constexpr double Al = -9.0;
// The digital scale's labels are dBFS; alignment is -18 dBFS (EBU R68).
constexpr double DbfsToFrameDb = Al + 18.0;

// U+2212, the minus sign, in UTF-8.
#define MINUS "\xe2\x88\x92"

const MeterScale Scales[MeterScale::Count] = {
    // IEC 60268-10 Type I as DIN 45406 draws it: -50 to +5 dB, 0 dB the permitted maximum.
    // 13.3 dB/s is the release the display has always had (20 dB in 1.5 s).
    {MeterScale::Din,
     "din",
     "DIN",
     -50.0,
     5.0,
     Al,
     0.0,
     13.3,
     true,
     {},
     {{5, "5"},    {4, ""},     {3, ""},     {2, ""},     {1, ""},     {0, "0"},    {-1, ""},
      {-2, ""},    {-3, "3"},   {-4, ""},    {-5, ""},    {-6, "6"},   {-7, ""},    {-8, ""},
      {-10, "10"}, {-15, "15"}, {-20, "20"}, {-25, "25"}, {-30, "30"}, {-40, "40"}, {-50, "50"}}},
    // Nordic: -36 to +9 dB, TEST at alignment, +9 the permitted maximum; linear in dB.
    {MeterScale::Nordic,
     "nordic",
     "Nordic",
     Al - 36.0,
     Al + 9.0,
     Al,
     Al + 9.0,
     20.0 / 1.7,
     false,
     {{Al - 36.0, 0.0}, {Al + 9.0, 1.0}},
     {{Al + 9.0, "+9"},
      {Al + 6.0, "+6"},
      {Al, "TEST"},
      {Al - 6.0, MINUS "6"},
      {Al - 12.0, MINUS "12"},
      {Al - 18.0, MINUS "18"},
      {Al - 24.0, MINUS "24"},
      {Al - 30.0, MINUS "30"},
      {Al - 36.0, MINUS "36"}}},
    // BBC (IEC 60268-10 Type IIa): marks 1 to 7 evenly spaced, 4 is alignment, 6 the BBC's permitted
    // maximum. From 2 to 7 each division is 4 dB; the one from 1 to 2 is 6 dB, so 1 is AL - 14; below
    // 1 the scale is compressed down to the needle's rest, here AL - 24, one division lower.
    {MeterScale::Bbc,
     "bbc",
     "BBC",
     Al - 24.0,
     Al + 12.0,
     Al,
     Al + 8.0,
     24.0 / 2.8,
     false,
     {{Al - 24.0, 0.0}, {Al - 14.0, 1.0 / 7}, {Al - 8.0, 2.0 / 7}, {Al + 12.0, 1.0}},
     {{Al + 12.0, "7"},
      {Al + 8.0, "6"},
      {Al + 4.0, "5"},
      {Al, "4"},
      {Al - 4.0, "3"},
      {Al - 8.0, "2"},
      {Al - 14.0, "1"}}},
    // EBU (IEC 60268-10 Type IIb, EBU Tech 3205): -12 to +12 dB, TEST at alignment, a mark every
    // 2 dB and a number every 4 dB; +9 is the permitted maximum. Linear in dB.
    {MeterScale::Ebu,
     "ebu",
     "EBU",
     Al - 12.0,
     Al + 12.0,
     Al,
     Al + 9.0,
     24.0 / 2.8,
     false,
     {{Al - 12.0, 0.0}, {Al + 12.0, 1.0}},
     {{Al + 12.0, "+12"},
      {Al + 10.0, ""},
      {Al + 8.0, "+8"},
      {Al + 6.0, ""},
      {Al + 4.0, "+4"},
      {Al + 2.0, ""},
      {Al, "TEST"},
      {Al - 2.0, ""},
      {Al - 4.0, MINUS "4"},
      {Al - 6.0, ""},
      {Al - 8.0, MINUS "8"},
      {Al - 10.0, ""},
      {Al - 12.0, MINUS "12"}}},
    // The digital peak meter of IEC 60268-18, -60 to 0 dBFS with alignment at -18 dBFS and the
    // permitted maximum at -9 dBFS (EBU R68). Its law widens the scale towards the top: 0.5, 0.75,
    // 1.5, 2 and 2.5 units a dB in the decades from -60 dBFS up, the last from -20 to 0.
    {MeterScale::Dbfs,
     "dbfs",
     "Digital (dBFS)",
     DbfsToFrameDb - 60.0,
     DbfsToFrameDb,
     Al,
     DbfsToFrameDb - 9.0,
     20.0 / 1.7,
     false,
     {{DbfsToFrameDb - 60.0, 0.0},
      {DbfsToFrameDb - 50.0, 5.0 / 97.5},
      {DbfsToFrameDb - 40.0, 12.5 / 97.5},
      {DbfsToFrameDb - 30.0, 27.5 / 97.5},
      {DbfsToFrameDb - 20.0, 47.5 / 97.5},
      {DbfsToFrameDb, 1.0}},
     {{DbfsToFrameDb, "0"},
      {DbfsToFrameDb - 3.0, MINUS "3"},
      {DbfsToFrameDb - 6.0, MINUS "6"},
      {DbfsToFrameDb - 9.0, MINUS "9"},
      {DbfsToFrameDb - 12.0, MINUS "12"},
      {DbfsToFrameDb - 15.0, MINUS "15"},
      {DbfsToFrameDb - 18.0, MINUS "18"},
      {DbfsToFrameDb - 21.0, MINUS "21"},
      {DbfsToFrameDb - 24.0, MINUS "24"},
      {DbfsToFrameDb - 30.0, MINUS "30"},
      {DbfsToFrameDb - 40.0, MINUS "40"},
      {DbfsToFrameDb - 50.0, MINUS "50"},
      {DbfsToFrameDb - 60.0, MINUS "60"}}},
};

#undef MINUS

} // namespace

double MeterScale::position(double levelDb) const
{
    // Also NaN: no signal.
    if (!(levelDb > SilenceDb) || levelDb <= bottomDb)
        return 0.0;
    if (levelDb >= topDb)
        return 1.0;
    if (fourthRoot) {
        const double base = std::pow(10.0, bottomDb / 80.0);
        return (std::pow(10.0, levelDb / 80.0) - base) / (std::pow(10.0, topDb / 80.0) - base);
    }
    const auto upper = std::find_if(law.begin() + 1, law.end(),
                                    [levelDb](const Corner &corner) { return levelDb <= corner.levelDb; });
    const Corner &lower = *(upper - 1);
    return lower.position +
           (upper->position - lower.position) * (levelDb - lower.levelDb) / (upper->levelDb - lower.levelDb);
}

const MeterScale &MeterScale::of(Id id)
{
    return Scales[id >= Din && id < Count ? id : Din];
}

MeterScale::Id MeterScale::fromKey(const QString &key)
{
    const QString wanted = key.trimmed().toLower();
    for (const MeterScale &scale : Scales)
        if (wanted == QLatin1String(scale.key))
            return scale.id;
    return Din;
}
