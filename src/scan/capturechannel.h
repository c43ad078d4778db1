#pragma once

#include "scan/capturepipe.h"
#include "scan/packetdriver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace keelwatch {

// The capture side of one scan: the capture adapter with its packet object
// and buffer, and the capture pipe. Shared by the relay, the analyser and
// the scan's owner; released when the last of them lets go.
struct CaptureChannel
{
    static constexpr std::size_t BufferSize = 256000;

    std::unique_ptr<PacketAdapter> adapter;
    std::unique_ptr<Packet> packet; // none when it could not be allocated
    std::vector<std::uint8_t> buffer;
    std::unique_ptr<CapturePipe> pipe;
    // Written by the relay: records it put into the pipe, and the frames the
    // capture lost as the adapter last told.
    std::atomic<std::uint64_t> relayedRecords{0};
    std::atomic<std::uint64_t> droppedFrames{0};
    // Written by relay and analyser: replies that answered no probe.
    std::atomic<std::uint64_t> rejectedReplies{0};
};

} // namespace keelwatch
