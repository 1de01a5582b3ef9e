#ifndef SYNCWAIT_H
#define SYNCWAIT_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QList>
#include <QtCore/QTimer>

#include <cstdint>
#include <functional>

class SyncWait;

// The waits running on one facade, so that QRobot::interruptWaits() can end
// them all at once. An interruption that finds no wait running is kept for
// the next wait that starts (a signal that arrives between two waits is not
// lost); stopMotion() drops it, being the answer to it.
class WaitGroup
{
public:
    void interrupt();
    // True (and forgotten) when an interruption waits for the next wait.
    bool takePending();
    void clearPending() { m_pending = false; }

private:
    friend class SyncWait;
    QList<SyncWait *> m_waits;
    bool m_pending = false;
};

// The synchronous wait of an export: a local event loop in which the
// library's timers and replies keep running, a check that runs at once and
// then every `period` ms, and a time limit measured on a monotonic clock.
// The result is stored in the export's library-wide result variable.
class SyncWait
{
public:
    SyncWait(int periodMs, qint64 limitMs, int32_t resultAtLimit, int32_t *result);
    ~SyncWait();

    // Makes the wait one of `group`'s: QRobot::interruptWaits() ends it with
    // `resultOnInterrupt`.
    void setInterruptible(WaitGroup *group, int32_t resultOnInterrupt);

    // Runs the wait. `check` runs on every tick and must call finish() or
    // rearm(); without one, the wait only ends by finish() or at the limit.
    int32_t exec(const std::function<void()> &check = std::function<void()>());

    void finish(int32_t result);
    void rearm();
    // finish(resultAtLimit) when the limit has passed, otherwise rearm().
    void finishAtLimitOrRearm();
    bool limitPassed() const;
    qint64 elapsedMs() const;
    bool isFinished() const;
    bool wasInterrupted() const { return m_interrupted; }

private:
    friend class WaitGroup;
    void interrupt();

    QEventLoop m_loop;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_period;
    qint64 m_limit;
    int32_t m_resultAtLimit;
    int32_t *m_result;
    bool m_finished = false;
    bool m_interrupted = false;
    WaitGroup *m_group = nullptr;
    int32_t m_resultOnInterrupt = 0;
    std::function<void()> m_check;
};

#endif // SYNCWAIT_H
