#include "robot/qserialmanager.h"
#include "robot/jogframedecoder.h"

#include <QtCore/QDebug>
#include <QtSerialPort/QSerialPortInfo>

class QSerialManagerPrivate
{
public:
    QSerialPort *port = nullptr;
    JogFrameDecoder decoder;
};

namespace {

void configure(QSerialPort *port)
{
    port->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setParity(QSerialPort::NoParity);
    port->setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace

QString QSerialManager::selectPortName(const QStringList &names)
{
    QString chosen;
    const int examined = qMin(10, int(names.size()));
    for (int i = 0; i < examined; ++i) {
        chosen = names.at(i);
        if (chosen.endsWith(QLatin1Char('3')))
            break;
    }
    return chosen;
}

QSerialManager::QSerialManager(QObject *parent)
    : QSerialPort(parent), m_d(new QSerialManagerPrivate)
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();

    m_d->port = new QSerialPort(this);
    m_d->port->setPortName(selectPortName(names));
    configure(m_d->port);
    m_d->port->close();
}

QSerialManager::~QSerialManager()
{
    closeBoard();
}

QString QSerialManager::boardPortName() const { return m_d->port->portName(); }
QSerialPort *QSerialManager::boardPort() const { return m_d->port; }
bool QSerialManager::isBoardOpen() const { return m_d->port->isOpen(); }
QString QSerialManager::boardErrorString() const { return m_d->port->errorString(); }

bool QSerialManager::openBoard(const QString &portName)
{
    closeBoard();
    if (!portName.isEmpty())
        m_d->port->setPortName(portName);
    if (!m_d->port->open(QIODevice::ReadWrite))
        return false;
    // Settings take effect on an open port too.
    configure(m_d->port);
    m_d->decoder.clear();
    connect(m_d->port, &QSerialPort::readyRead, this, &QSerialManager::recvPortData, Qt::UniqueConnection);
    return true;
}

void QSerialManager::closeBoard()
{
    disconnect(m_d->port, &QSerialPort::readyRead, this, &QSerialManager::recvPortData);
    if (m_d->port->isOpen())
        m_d->port->close();
    m_d->decoder.clear();
}

void QSerialManager::recvPortData()
{
    const QList<JogFrameDecoder::Event> events = m_d->decoder.feed(m_d->port->readAll());
    for (const JogFrameDecoder::Event &event : events) {
        bool positive[6];
        bool negative[6];
        std::copy(event.positive.begin(), event.positive.end(), positive);
        std::copy(event.negative.begin(), event.negative.end(), negative);
        Q_EMIT sgnSwitchJogButtons(positive, negative);
        if (event.release) {
            m_d->port->clear(QSerialPort::AllDirections);
            qDebug() << "JOG Release!!!!";
        } else {
            qDebug() << "JOG Press!!!!";
        }
    }
}
