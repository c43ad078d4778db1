#pragma once

#include "scan/capturepipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace keelwatch {

// A batch of this size or less holds no whole ARP reply and is not walked.
constexpr std::size_t SmallestWalkedBatch = 60;

// The addresses a scan's probes come from, so the only ones its replies may
// be sent to.
class ReplyDestinations
{
  public:
    ReplyDestinations() = default;
    explicit ReplyDestinations(std::vector<std::array<std::uint8_t, 6>> addresses);
    // All six bytes at mac are one of them.
    bool Contains(const std::uint8_t *mac) const;

  private:
    std::vector<std::array<std::uint8_t, 6>> sorted;
};

// What a captured frame is to a scan.
enum class ReplyFrame {
    Foreign,  // neither its Ethernet nor its ARP target is one of our addresses
    Rejected, // claims to be for us, but is no well-formed ARP reply to us
    Accepted, // an Ethernet II ARP reply (hardware 1, protocol 0x0800,
              // lengths 6 and 4, operation 2) whose Ethernet destination and
              // target MAC are both the same one of our addresses
};
ReplyFrame JudgeReplyFrame(const std::uint8_t *frame, std::size_t captured,
                           const ReplyDestinations &ours);

// Walks a received batch (layout in packetdriver.h) and hands over the
// capture pipe record of every accepted reply; returns how many frames
// were rejected. A record that runs past the batch ends the walk.
std::size_t WalkCaptureBatch(const std::uint8_t *batch, std::size_t size,
                             const ReplyDestinations &ours,
                             const std::function<void(const CaptureRecord &)> &relay);

} // namespace keelwatch
