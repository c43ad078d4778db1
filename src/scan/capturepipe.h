#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace keelwatch {

// The 20 bytes the capture relay hands the reply analyser for each reply:
// sender MAC, sender IP, target MAC, target IP, copied from frame offset 22.
constexpr int CaptureRecordSize = 20;
using CaptureRecord = std::array<std::uint8_t, CaptureRecordSize>;
static_assert(sizeof(CaptureRecord) == CaptureRecordSize, "records travel as bare bytes");

// Records moved in one message at most: a capture batch crosses in one or a
// few system calls instead of one per reply.
constexpr std::size_t RecordsPerMessage = 512;

// The message channel from the capture relay to the reply analyser: a
// connected pair of local sequenced-packet sockets, so every message of
// records arrives whole and in order. The write end belongs to the relay,
// the read end to the analyser; both ends close when the pipe goes.
class CapturePipe
{
  public:
    enum class WriteResult { Written, Stopped, NotConnected, Failed };
    enum class ReadResult { Records, TimedOut, Failed };

    // A new pipe, or nothing with the system's error code.
    static std::unique_ptr<CapturePipe> Create(int *errorCode);
    ~CapturePipe();
    CapturePipe(const CapturePipe &) = delete;
    CapturePipe &operator=(const CapturePipe &) = delete;

    // Sends 1 to RecordsPerMessage records as one message (Failed for more
    // or none). Waits while the pipe is full, so that no reply is lost when
    // the reader falls behind; the kernel's capture buffer holds what
    // arrives meanwhile. Stopped when stop is set during the wait (looked at
    // every few ms).
    WriteResult Write(std::span<const CaptureRecord> records,
                      const std::atomic<bool> *stop = nullptr);
    // Closing the write end ends a read that waits on the other end.
    void CloseWriteEnd();

    // Waits up to timeoutMs for a message and puts its records in place of
    // those in records. Failed also when the write end has been closed and
    // every message read.
    ReadResult Read(std::vector<CaptureRecord> &records, int timeoutMs);
    // Reads a message that is already there, without waiting.
    bool ReadWaiting(std::vector<CaptureRecord> &records);
    void CloseReadEnd();

  private:
    CapturePipe(int readFd, int writeFd);

    std::atomic<int> readFd;
    std::atomic<int> writeFd;
};

} // namespace keelwatch
