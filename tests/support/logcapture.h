#ifndef VARLOTEST_LOGCAPTURE_H
#define VARLOTEST_LOGCAPTURE_H

// LogCapture: records the text of every Qt message while it is alive (items
// joined by single spaces, QString values in quotes, as qDebug() builds them),
// instead of printing it. Captures nest; destroy them in reverse order.
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

namespace VarloTest {

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return m_lines; }
    bool contains(const QString &text) const { return !m_lines.filter(text).isEmpty(); }
    bool hasLine(const QString &line) const { return m_lines.contains(line); }
    void clear() { m_lines.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QStringList m_lines;
    QtMessageHandler m_previousHandler;
    LogCapture *m_previous;
};

} // namespace VarloTest

#endif // VARLOTEST_LOGCAPTURE_H
