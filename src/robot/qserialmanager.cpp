#include "Varlo/qserialmanager.h"
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
    : QSerialPort(parent), d(new QSerialManagerPrivate)
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();

    d->port = new QSerialPort(this);
    d->port->setPortName(selectPortName(names));
    configure(d->port);
    d->port->close();
}

QSerialManager::~QSerialManager()
{
    closeBoard();
}

QString QSerialManager::boardPortName() const { return d->port->portName(); }
QSerialPort *QSerialManager::boardPort() const { return d->port; }
bool QSerialManager::isBoardOpen() const { return d->port->isOpen(); }
QString QSerialManager::boardErrorString() const { return d->port->errorString(); }

bool QSerialManager::openBoard(const QString &portName)
{
    closeBoard();
    if (!portName.isEmpty())
        d->port->setPortName(portName);
    if (!d->port->open(QIODevice::ReadWrite))
        return false;
    // Settings take effect on an open port too.
    configure(d->port);
    d->decoder.clear();
    connect(d->port, &QSerialPort::readyRead, this, &QSerialManager::recvPortData, Qt::UniqueConnection);
    return true;
}

void QSerialManager::closeBoard()
{
    disconnect(d->port, &QSerialPort::readyRead, this, &QSerialManager::recvPortData);
    if (d->port->isOpen())
        d->port->close();
    d->decoder.clear();
}

void QSerialManager::recvPortData()
{
    const QList<JogFrameDecoder::Event> events = d->decoder.feed(d->port->readAll());
    for (const JogFrameDecoder::Event &event : events) {
        bool positive[6];
        bool negative[6];
        std::copy(event.positive.begin(), event.positive.end(), positive);
        std::copy(event.negative.begin(), event.negative.end(), negative);
        Q_EMIT sgnSwitchJogButtons(positive, negative);
        if (event.release) {
            d->port->clear(QSerialPort::AllDirections);
            qDebug() << "JOG Release!!!!";
        } else {
            qDebug() << "JOG Press!!!!";
        }
    }
}
