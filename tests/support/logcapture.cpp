#include "logcapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>

namespace VarloTest {

namespace {
// Messages may come from Qt's own threads too; the capture stack is guarded.
QBasicMutex captureMutex;
LogCapture *currentCapture = nullptr;
} // namespace

LogCapture::LogCapture(Forwarding forwarding)
    : m_forwarding(forwarding)
{
    QMutexLocker lock(&captureMutex);
    m_previousCapture = currentCapture;
    currentCapture = this;
    m_previousHandler = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    QMutexLocker lock(&captureMutex);
    qInstallMessageHandler(m_previousHandler);
    currentCapture = m_previousCapture;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler forwardTo = nullptr;
    {
        QMutexLocker lock(&captureMutex);
        LogCapture *capture = currentCapture;
        if (!capture)
            return;
        Entry e{type, QString::fromLatin1(context.category ? context.category : "default"), message,
                qFormatLogMessage(type, context, message)};
        capture->m_entries.append(e);
        if (capture->m_forwarding == Forward)
            forwardTo = capture->m_previousHandler;
    }
    if (forwardTo)
        forwardTo(type, context, message);
    else if (type == QtFatalMsg)
        abort();
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    QMutexLocker lock(&captureMutex);
    return m_entries;
}

QStringList LogCapture::lines() const
{
    QStringList out;
    for (const Entry &e : entries())
        out.append(e.message);
    return out;
}

QStringList LogCapture::lines(const QString &category) const
{
    QStringList out;
    for (const Entry &e : entries()) {
        if (e.category == category)
            out.append(e.message);
    }
    return out;
}

QStringList LogCapture::formatted() const
{
    QStringList out;
    for (const Entry &e : entries())
        out.append(e.formatted);
    return out;
}

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const Entry &e : entries())
        n += e.message.contains(text) ? 1 : 0;
    return n;
}

bool LogCapture::hasLine(const QString &line) const
{
    for (const Entry &e : entries()) {
        if (e.message == line)
            return true;
    }
    return false;
}

bool LogCapture::isEmpty() const
{
    QMutexLocker lock(&captureMutex);
    return m_entries.isEmpty();
}

void LogCapture::clear()
{
    QMutexLocker lock(&captureMutex);
    m_entries.clear();
}

bool LogCapture::waitFor(const QString &text, int timeoutMs) const
{
    QDeadlineTimer deadline(qMax(0, timeoutMs));
    while (!contains(text)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace VarloTest
