#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// Runs the main thread's event loop until the condition holds or the time is
// up; queued calls from workers are delivered meanwhile. A guard against a
// hung test, not a timing assertion.
template <typename Condition> bool WaitUntil(Condition condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}
