#include "core/signalcalls.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using keelwatch::SignalCalls;

namespace {

// Runs the event loop until the condition holds or a generous bound passes.
template <typename Condition> bool ProcessEventsUntil(Condition condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

} // namespace

TEST(SignalCalls, EachSignalReachesItsOwnCallOnTheOwningThread)
{
    const std::thread::id owner = std::this_thread::get_id();
    int quits = 0;
    int hangUps = 0;
    bool onOwner = true;
    SignalCalls calls({{SIGUSR1,
                        [&] {
                            ++quits;
                            onOwner = onOwner && std::this_thread::get_id() == owner;
                        }},
                       {SIGUSR2, [&] { ++hangUps; }}});
    // Raised from another thread, as a signal may arrive on any thread.
    std::thread([] {
        std::raise(SIGUSR2);
        std::raise(SIGUSR1);
        std::raise(SIGUSR2);
    }).join();
    ASSERT_TRUE(ProcessEventsUntil([&] { return quits == 1 && hangUps == 2; }))
        << quits << " quits, " << hangUps << " hang-ups";
    EXPECT_TRUE(onOwner);
}

TEST(SignalCalls, HandlersGoWithTheObject)
{
    {
        SignalCalls calls({{SIGUSR1, [] {}}});
    }
    struct sigaction current = {};
    sigaction(SIGUSR1, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}
