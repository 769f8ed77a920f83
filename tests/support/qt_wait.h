// Runs the Qt event loop until a condition holds, for tests that wait on sockets and timers.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace qt_wait {

// True once done() holds; false after ms milliseconds without it.
inline bool until(const std::function<bool()>& done, int ms)
{
    QElapsedTimer waited;
    waited.start();
    QTimer wake;  // bounds each wait for events
    wake.start(5);
    for (; !done(); QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents))
        if (waited.elapsed() > ms)
            return false;
    return true;
}

// Lets ms milliseconds of events happen.
inline void settle(int ms)
{
    until([] { return false; }, ms);
}

}  // namespace qt_wait
