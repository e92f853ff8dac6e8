// One UDP datagram as a client takes it: only exactly 16 bytes that pass the frame test are
// decoded, and every accepted datagram decodes to levels on the scale of the word.
#include "fuzzcheck.h"
#include "levelframe.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size != size_t(LevelFrame::Size))
        return 0;
    const char *datagram = reinterpret_cast<const char *>(data);
    if (!LevelFrame::isValid(datagram))
        return 0;

    const LevelFrame::Levels levels = LevelFrame::decode(datagram);
    const double top = LevelFrame::levelFromWord(0xFFFF);
    for (int k = 0; k < LevelFrame::LevelCount; ++k) {
        FUZZ_CHECK(std::isfinite(levels[k]));
        FUZZ_CHECK(levels[k] >= LevelFrame::FloorDb && levels[k] <= top);
        FUZZ_CHECK(LevelFrame::wordFromLevel(levels[k]) == LevelFrame::wordAt(datagram, k));
    }
    // Encoding the decoded levels gives the same 16 bytes back, as a relay must pass them on.
    FUZZ_CHECK(LevelFrame::encodeLevels(levels) == QByteArray(datagram, LevelFrame::Size));
    return 0;
}
