#pragma once

#include "support/labsegment.h"

#include <QByteArray>
#include <QString>

#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// A forger on a lab segment: sends Ethernet frames of its own making from a
// lab host's card through a raw packet socket. The socket is opened inside
// the host's namespace and stays bound to that card, so nothing it sends
// can reach a real interface.
class FrameInjector
{
  public:
    FrameInjector(const QString &hostNamespace, const char *card = "eth0")
    {
        EnteredNamespace host(hostNamespace);
        if (!host.entered)
            return;
        socketFd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_ifindex = int(if_nametoindex(card));
        if (socketFd >= 0 && address.sll_ifindex > 0 &&
            bind(socketFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            opened = true;
    }
    ~FrameInjector()
    {
        Stop();
        if (socketFd >= 0)
            close(socketFd);
    }
    FrameInjector(const FrameInjector &) = delete;
    FrameInjector &operator=(const FrameInjector &) = delete;

    bool Send(const QByteArray &frame)
    {
        return opened && ::send(socketFd, frame.constData(), size_t(frame.size()), 0) ==
                             ssize_t(frame.size());
    }

    // Sends the frames round and round, about perSecond a second, on a
    // thread of its own until Stop.
    void Start(std::vector<QByteArray> frames, int perSecond)
    {
        Stop();
        stopping = false;
        sender = std::thread([this, frames = std::move(frames), perSecond] {
            using Clock = std::chrono::steady_clock;
            const auto start = Clock::now();
            const std::chrono::duration<double> period(1.0 / perSecond);
            std::size_t next = 0;
            while (!stopping) {
                const auto due =
                    start + std::chrono::duration_cast<Clock::duration>(period * double(next));
                if (Clock::now() < due) {
                    std::this_thread::sleep_until(
                        std::min(due, Clock::now() + std::chrono::milliseconds(5)));
                    continue;
                }
                if (Send(frames[next++ % frames.size()]))
                    ++sent;
            }
        });
    }
    void Stop()
    {
        stopping = true;
        if (sender.joinable())
            sender.join();
    }

    bool opened = false;
    std::atomic<quint64> sent{0};

  private:
    int socketFd = -1;
    std::atomic<bool> stopping{false};
    std::thread sender;
};
