#include "sensor/sensorsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace keelwatch {

namespace {

constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write: the signal's number, as a byte, wakes the main
// thread's notifier.
int wakeFds[2] = {-1, -1};

void WakeMainThread(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[0], &byte, 1);
}

} // namespace

SensorSignals::SensorSignals(std::function<void()> quit, std::function<void()> hangUp,
                             QObject *parent)
    : QObject(parent), onQuit(std::move(quit)), onHangUp(std::move(hangUp))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0)
        return;
    notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(wakeFds[1], &byte, 1) != 1)
            return;
        if (byte == SIGHUP) {
            if (onHangUp)
                onHangUp();
        } else if (onQuit) {
            onQuit();
        }
    });
    struct sigaction action = {};
    action.sa_handler = WakeMainThread;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : HandledSignals)
        sigaction(signal, &action, nullptr);
}

SensorSignals::~SensorSignals()
{
    for (int signal : HandledSignals)
        std::signal(signal, SIG_DFL);
    for (int &fd : wakeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace keelwatch
