#include "scan/scanthread.h"

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

void ScanThread::Join()
{
    {
        std::unique_lock lock(stateMutex);
        ended.wait(lock, [this] { return done || !started; });
    }
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
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
