#include "robot/syncwait.h"

void WaitGroup::interrupt()
{
    if (m_waits.isEmpty()) {
        m_pending = true;
        return;
    }
    // A copy: ending a wait may end the waits nested in it first.
    const QList<SyncWait *> waits = m_waits;
    for (SyncWait *wait : waits)
        wait->interrupt();
}

bool WaitGroup::takePending()
{
    const bool pending = m_pending;
    m_pending = false;
    return pending;
}

SyncWait::SyncWait(int periodMs, qint64 limitMs, int32_t resultAtLimit, int32_t *result)
    : m_period(periodMs), m_limit(limitMs), m_resultAtLimit(resultAtLimit), m_result(result)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_loop, [this]() {
        if (m_finished)
            return;
        if (m_check)
            m_check();
        else
            finishAtLimitOrRearm();
    });
}

SyncWait::~SyncWait()
{
    m_timer.stop();
    if (m_group)
        m_group->m_waits.removeOne(this);
}

void SyncWait::setInterruptible(WaitGroup *group, int32_t resultOnInterrupt)
{
    m_group = group;
    m_resultOnInterrupt = resultOnInterrupt;
}

int32_t SyncWait::exec(const std::function<void()> &check)
{
    m_check = check;
    m_clock.start();
    if (m_group) {
        if (m_group->takePending())
            interrupt();
        else
            m_group->m_waits.append(this);
    }
    m_timer.start(0);
    if (!m_finished)
        m_loop.exec();
    m_timer.stop();
    if (m_group)
        m_group->m_waits.removeOne(this);
    return *m_result;
}

void SyncWait::interrupt()
{
    if (m_finished)
        return;
    m_interrupted = true;
    finish(m_resultOnInterrupt);
}

void SyncWait::finish(int32_t result)
{
    // The first end counts: a check still running when an interruption came
    // (it waits for its request) must not overwrite the interruption.
    if (m_finished)
        return;
    *m_result = result;
    m_finished = true;
    m_timer.stop();
    m_loop.quit();
}

void SyncWait::rearm()
{
    if (!m_finished)
        m_timer.start(m_period);
}

void SyncWait::finishAtLimitOrRearm()
{
    if (limitPassed())
        finish(m_resultAtLimit);
    else
        rearm();
}

bool SyncWait::limitPassed() const { return m_clock.elapsed() > m_limit; }
qint64 SyncWait::elapsedMs() const { return m_clock.elapsed(); }
bool SyncWait::isFinished() const { return m_finished; }
