#include "scan/captureprotocol.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace keelwatch::captureprotocol;

// The datagram a capture helper reads from its request channel, checked as
// the helper checks a request. A Start it takes holds unicast blocks; a
// probe it would send must be an ARP request of the configured senders to a
// group address or the node that answered, whatever the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto message = Decode({data, size});
    if (!message)
        return 0;
    const std::vector<std::uint8_t> &payload = message->payload;
    std::string problem;
    if (const auto start = DecodeStart(payload, &problem)) {
        for (const Mac &block : start->senders.blocks) {
            if (block[0] & 1)
                std::abort();
        }
    }
    DecodeHealth(payload);
    DecodeStarted(payload);
    std::uint32_t gap = 0;
    const auto entries = DecodeProbeBatch(payload, &gap);
    if (!entries)
        return 0;
    SendRules rules;
    rules.senders.blocks = {{0x02, 0x00, 0x00, 0x77, 0x00, 0x50}};
    rules.cardMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    rules.answeredFor = [](std::uint32_t ip) -> std::optional<Mac> {
        if (ip == 0x0A4D000B)
            return Mac{0x02, 0x77, 0x00, 0x00, 0x00, 0x02};
        return std::nullopt;
    };
    for (const BatchEntry &entry : *entries) {
        const std::span<const std::uint8_t> frame = entry.frame;
        if (ProbeProblem(frame, rules))
            continue;
        const std::size_t arp = frame.size() == 50 ? 22 : 14;
        const bool fromBlock =
            std::memcmp(frame.data() + arp + 8, rules.senders.blocks[0].data(), 5) == 0;
        const bool zeroSender = std::memcmp(frame.data() + arp + 14, "\0\0\0\0", 4) == 0;
        if ((frame.size() != 42 && frame.size() != 50) || frame[arp + 7] != 1 || !fromBlock ||
            !zeroSender || (!(frame[0] & 1) && frame[5] != 0x02))
            std::abort();
    }
    return 0;
}
