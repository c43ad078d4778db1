#pragma once

#include "scan/capturepipe.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace keelwatch {

// A batch of this size or less holds no whole ARP reply and is not walked.
constexpr std::size_t SmallestWalkedBatch = 60;

// Walks a received batch (layout in packetdriver.h) and hands over the
// capture pipe record of every Ethernet II ARP reply whose destination
// starts with the two given bytes of the own MAC address. A record that
// runs past the batch ends the walk; a frame too short to hold the ARP
// addresses is skipped.
void WalkCaptureBatch(const std::uint8_t *batch, std::size_t size, std::uint8_t ownMac0,
                      std::uint8_t ownMac1,
                      const std::function<void(const CaptureRecord &)> &relay);

} // namespace keelwatch
