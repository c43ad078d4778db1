#include "scan/capturebatch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace keelwatch;

// The first six bytes are the own MAC, whose sixteen source addresses are
// ours; the rest is the batch as the packet driver would hand it over.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 6)
        return 0;
    std::vector<std::array<std::uint8_t, 6>> sources(16);
    for (std::size_t k = 0; k < sources.size(); ++k) {
        std::copy(data, data + 6, sources[k].begin());
        sources[k][5] = std::uint8_t((data[5] & 0xF0) | k);
    }
    std::size_t records = 0;
    const std::size_t rejected = WalkCaptureBatch(data + 6, size - 6, ReplyDestinations(sources),
                                                  [&](const CaptureRecord &) { ++records; });
    if (records + rejected > size)
        std::abort();
    return 0;
}
