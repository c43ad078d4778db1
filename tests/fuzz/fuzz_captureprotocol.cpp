#include "scan/captureprotocol.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace keelwatch::captureprotocol;

// The datagram a capture helper reads from its channel, checked as the
// helper checks a request. A probe it would send must be an ARP request of
// the bound senders, whatever the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto message = Decode({data, size});
    if (!message)
        return 0;
    const std::vector<std::uint8_t> &payload = message->payload;
    InterfaceNameProblem(
        std::string_view(reinterpret_cast<const char *>(payload.data()), payload.size()));
    IsArpReplyFilter(payload);
    if (const auto senders = DecodeSenders(payload); senders && (senders->ownMac[0] & 1))
        std::abort();
    if (payload.size() < 2)
        return 0;
    const ProbeSenders senders{{0x02, 0x00, 0x00, 0x77, 0x00, 0x50}, 0x0A4D0001};
    const std::span<const std::uint8_t> frame = std::span(payload).subspan(2);
    if (!ProbeProblem(frame, senders).empty())
        return 0;
    const std::size_t arp = frame.size() == 50 ? 22 : 14;
    if ((frame.size() != 42 && frame.size() != 50) || frame[arp + 7] != 1 ||
        frame[arp + 8] != 0x02 || frame[arp + 14] != 0x0A)
        std::abort();
    return 0;
}
