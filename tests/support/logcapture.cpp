#include "logcapture.h"

namespace VarloTest {

namespace {
LogCapture *s_current = nullptr;
}

LogCapture::LogCapture() : m_previousHandler(qInstallMessageHandler(&LogCapture::handler)), m_previous(s_current)
{
    s_current = this;
}

LogCapture::~LogCapture()
{
    s_current = m_previous;
    qInstallMessageHandler(m_previousHandler);
}

void LogCapture::handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (s_current)
        s_current->m_lines.append(message);
}

} // namespace VarloTest
