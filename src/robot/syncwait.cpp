#include "robot/syncwait.h"

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
}

int32_t SyncWait::exec(const std::function<void()> &check)
{
    m_check = check;
    m_clock.start();
    m_timer.start(0);
    if (!m_finished)
        m_loop.exec();
    m_timer.stop();
    return *m_result;
}

void SyncWait::finish(int32_t result)
{
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
