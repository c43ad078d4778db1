#include "scan/capturebatch.h"

#include <cstdint>
#include <cstdlib>

using namespace keelwatch;

// The first two bytes are the own MAC's first two; the rest is the batch as
// the packet driver would hand it over.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    std::size_t records = 0;
    WalkCaptureBatch(data + 2, size - 2, data[0], data[1],
                     [&](const CaptureRecord &) { ++records; });
    if (records > size)
        std::abort();
    return 0;
}
