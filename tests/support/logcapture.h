#ifndef VARLOTEST_LOGCAPTURE_H
#define VARLOTEST_LOGCAPTURE_H

// LogCapture: records every Qt message while it is alive.
//
//     VarloTest::LogCapture log;
//     ... run the behaviour ...
//     QVERIFY(log.contains("getParaError"));
//     QCOMPARE(log.count("is not exist!"), 1);
//
// Installs a Qt message handler in its constructor and puts the previous one
// back in its destructor; captures nest (destroy them in reverse order). By
// default every message is also passed on to the previous handler, so QtTest
// still prints it and QTest::ignoreMessage() keeps working.
//
// A line is the message text exactly as qDebug() and friends built it (items
// joined by single spaces, QString values in quotes), without the message
// pattern's decoration; formatted() gives the text as Qt's message pattern
// would print it.

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace VarloTest {

class LogCapture
{
public:
    enum Forwarding { Forward, Quiet };

    struct Entry
    {
        QtMsgType type;
        QString category;   // "default" for plain qDebug()
        QString message;    // the message text
        QString formatted;  // as the message pattern prints it
    };

    explicit LogCapture(Forwarding forwarding = Forward);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Entry> entries() const;
    QStringList lines() const;                       // message texts in order
    QStringList lines(const QString &category) const;
    QStringList formatted() const;

    bool contains(const QString &text) const;        // some line contains text
    int count(const QString &text) const;            // lines that contain text
    bool hasLine(const QString &line) const;         // some line is exactly line
    bool isEmpty() const;
    void clear();

    // Spin the event loop until a line containing text has been captured. False on time-out.
    bool waitFor(const QString &text, int timeoutMs = 5000) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QList<Entry> m_entries;
    Forwarding m_forwarding;
    QtMessageHandler m_previousHandler;
    LogCapture *m_previousCapture;
};

} // namespace VarloTest

#endif // VARLOTEST_LOGCAPTURE_H
