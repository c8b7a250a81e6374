#pragma once

#include <QObject>

#include <QCoroTask>

// Time as a run sees it: pacing and back-off wait on this clock, so tests can replace it and
// check every interval without real sleeps.
class RunClock : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Milliseconds on a monotonic clock.
    virtual qint64 nowMs() const;
    // Waits `ms`, or less when interrupt() is called meanwhile (a stop click).
    virtual QCoro::Task<void> pause(qint64 ms);
    void interrupt() { Q_EMIT interrupted(); }

Q_SIGNALS:
    void interrupted();
};
