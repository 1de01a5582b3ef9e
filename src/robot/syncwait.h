#ifndef SYNCWAIT_H
#define SYNCWAIT_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

#include <cstdint>
#include <functional>

// The synchronous wait of an export: a local event loop in which the
// library's timers and replies keep running, a check that runs at once and
// then every `period` ms, and a time limit measured on a monotonic clock.
// The result is stored in the export's library-wide result variable.
class SyncWait
{
public:
    SyncWait(int periodMs, qint64 limitMs, int32_t resultAtLimit, int32_t *result);
    ~SyncWait();

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

private:
    QEventLoop m_loop;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_period;
    qint64 m_limit;
    int32_t m_resultAtLimit;
    int32_t *m_result;
    bool m_finished = false;
    std::function<void()> m_check;
};

#endif // SYNCWAIT_H
