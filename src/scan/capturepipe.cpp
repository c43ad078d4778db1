#include "scan/capturepipe.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace keelwatch {

namespace {

void CloseFd(std::atomic<int> &fd)
{
    const int old = fd.exchange(-1);
    if (old >= 0)
        ::close(old);
}

} // namespace

std::unique_ptr<CapturePipe> CapturePipe::Create(int *errorCode)
{
    int fds[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        if (errorCode)
            *errorCode = errno;
        return nullptr;
    }
    return std::unique_ptr<CapturePipe>(new CapturePipe(fds[0], fds[1]));
}

CapturePipe::CapturePipe(int r, int w) : readFd(r), writeFd(w) {}

CapturePipe::~CapturePipe()
{
    CloseWriteEnd();
    CloseReadEnd();
}

CapturePipe::WriteResult CapturePipe::Write(std::span<const CaptureRecord> records,
                                            const std::atomic<bool> *stop)
{
    if (records.empty() || records.size() > RecordsPerMessage)
        return WriteResult::Failed;
    const std::size_t bytes = records.size_bytes();
    // Short slices keep a stop prompt while the reader is behind.
    constexpr int WaitSliceMs = 20;
    for (;;) {
        const int fd = writeFd.load();
        const ssize_t n = ::send(fd, records.data(), bytes, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == ssize_t(bytes))
            return WriteResult::Written;
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN))
            return WriteResult::NotConnected;
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS))
            return WriteResult::Failed;
        if (stop && stop->load())
            return WriteResult::Stopped;
        pollfd room{fd, POLLOUT, 0};
        if (poll(&room, 1, WaitSliceMs) < 0 && errno != EINTR)
            return WriteResult::Failed;
    }
}

void CapturePipe::CloseWriteEnd()
{
    CloseFd(writeFd);
}

CapturePipe::ReadResult CapturePipe::Read(std::vector<CaptureRecord> &records, int timeoutMs)
{
    pollfd fd{readFd.load(), POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return ReadResult::TimedOut;
    if (ready < 0)
        return ReadResult::Failed;
    return ReadWaiting(records) ? ReadResult::Records : ReadResult::Failed;
}

bool CapturePipe::ReadWaiting(std::vector<CaptureRecord> &records)
{
    records.resize(RecordsPerMessage);
    const ssize_t n =
        ::recv(readFd.load(), records.data(), records.size() * sizeof(CaptureRecord), MSG_DONTWAIT);
    // The writer sends whole records only.
    records.resize(n > 0 ? std::size_t(n) / sizeof(CaptureRecord) : 0);
    return !records.empty();
}

void CapturePipe::CloseReadEnd()
{
    CloseFd(readFd);
}

} // namespace keelwatch
