#pragma once

#include "scan/capturepipe.h"
#include "scan/packetdriver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace keelwatch {

// The wire side of one scan: its adapter (capture and sends) with the
// capture's packet object and buffer, and the capture pipe. Shared by the
// relay, the analyser, the senders and the scan's owner; released when the
// last of them lets go.
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
    // Receives that failed: the relay tries again, and a cycle whose capture
    // failed judges no silence.
    std::atomic<std::uint64_t> failedReceives{0};
    // Written by the senders: batches handed to the adapter and the probes
    // they held.
    std::atomic<std::uint64_t> sendCalls{0};
    std::atomic<std::uint64_t> probesSent{0};

    void CountSend(int probes)
    {
        sendCalls.fetch_add(1);
        probesSent.fetch_add(std::uint64_t(probes));
    }
};

} // namespace keelwatch
