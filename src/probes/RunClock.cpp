#include "RunClock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <QCoroSignal>

#include <limits>

namespace {

// One pause's end, by its timer or an interrupt: a signal without QTimer's private argument,
// which coroutine signal awaiting cannot take.
class PauseEnd final : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void reached();
};

} // namespace

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
    PauseEnd end;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &end, &PauseEnd::reached);
    // A stop cuts the wait short: the timer then fires at once.
    connect(this, &RunClock::interrupted, &timer, [&timer] { timer.start(0); });
    timer.start(int(qBound(qint64(0), ms, qint64(std::numeric_limits<int>::max()))));
    co_await qCoro(&end, &PauseEnd::reached);
}

#include "RunClock.moc"
