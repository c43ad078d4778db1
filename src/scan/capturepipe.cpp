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

CapturePipe::WriteResult CapturePipe::Write(const CaptureRecord &record,
                                            const std::atomic<bool> *stop)
{
    // Short slices keep a stop prompt while the reader is behind.
    constexpr int WaitSliceMs = 20;
    for (;;) {
        const int fd = writeFd.load();
        const ssize_t n = ::send(fd, record.data(), record.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == ssize_t(record.size()))
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

CapturePipe::ReadResult CapturePipe::Read(CaptureRecord &record, int timeoutMs)
{
    pollfd fd{readFd.load(), POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return ReadResult::TimedOut;
    if (ready < 0)
        return ReadResult::Failed;
    return ReadWaiting(record) ? ReadResult::Record : ReadResult::Failed;
}

bool CapturePipe::ReadWaiting(CaptureRecord &record)
{
    record.fill(0);
    const ssize_t n = ::recv(readFd.load(), record.data(), record.size(), MSG_DONTWAIT);
    return n > 0;
}

void CapturePipe::CloseReadEnd()
{
    CloseFd(readFd);
}

} // namespace keelwatch
