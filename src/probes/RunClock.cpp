#include "RunClock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <QCoroSignal>

#include <limits>

qint64 RunClock::nowMs() const
{
    static QElapsedTimer epoch = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return epoch.elapsed();
}

QCoro::Task<void> RunClock::pause(qint64 ms)
{
    QTimer timer;
    timer.setSingleShot(true);
    // A stop cuts the wait short: the timer then fires at once.
    connect(this, &RunClock::interrupted, &timer, [&timer] { timer.start(0); });
    timer.start(int(qBound(qint64(0), ms, qint64(std::numeric_limits<int>::max()))));
    co_await qCoro(&timer, &QTimer::timeout);
}
