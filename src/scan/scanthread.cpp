#include "scan/scanthread.h"

#include <chrono>

namespace keelwatch {

ScanThread::~ScanThread()
{
    if (thread.joinable())
        thread.join();
}

void ScanThread::start()
{
    {
        std::lock_guard lock(stateMutex);
        if (started)
            return;
        started = true;
    }
    thread = std::thread([this] {
        Work();
        Q_EMIT finished();
        {
            std::lock_guard lock(stateMutex);
            done = true;
        }
        ended.notify_all();
    });
}

bool ScanThread::Join(unsigned long milliseconds)
{
    {
        std::unique_lock lock(stateMutex);
        const auto isDone = [this] { return done || !started; };
        if (milliseconds == ULONG_MAX)
            ended.wait(lock, isDone);
        else if (!ended.wait_for(lock, std::chrono::milliseconds(milliseconds), isDone))
            return false;
    }
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
    return true;
}

bool ScanThread::isRunning() const
{
    std::lock_guard lock(stateMutex);
    return started && !done;
}

bool ScanThread::isFinished() const
{
    std::lock_guard lock(stateMutex);
    return done;
}

} // namespace keelwatch
