#include "byte_transport.h"

#include <QMetaObject>
#include <QSerialPort>

#include <cerrno>

namespace varnel {

namespace {

#ifdef Q_OS_WIN
constexpr int kAccessDenied = 5;  // ERROR_ACCESS_DENIED
#else
constexpr int kAccessDenied = EACCES;
#endif

QString openErrorText(const QString& device, int code, const QString& text) {
    return QStringLiteral("Can't open specified device %1 (Error %2, %3)")
        .arg(device)
        .arg(code)
        .arg(text);
}

}  // namespace

// ---- SerialTransport ------------------------------------------------------------------------

SerialTransport::SerialTransport(QObject* parent)
    : ByteTransport(parent), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &ByteTransport::readyRead);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialTransport::~SerialTransport() = default;

bool SerialTransport::open(const QString& device, QString& error) {
    error.clear();
    if (port_->isOpen()) port_->close();
    port_->setPortName(device);
    port_->setBaudRate(QSerialPort::Baud9600);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    errno = 0;
    if (!port_->open(QIODevice::ReadWrite)) {
        const int systemError = errno;
        switch (port_->error()) {
            case QSerialPort::DeviceNotFoundError:
                error = QStringLiteral("Specified device not found (%1).").arg(device);
                break;
            case QSerialPort::PermissionError:
                // In use (a lock held by another program) or refused: the system's "access
                // denied", whose number the failing call may not have left behind.
                error = openErrorText(device, kAccessDenied, port_->errorString());
                break;
            default:
                error = openErrorText(device, systemError != 0 ? systemError : int(port_->error()),
                                      port_->errorString());
                break;
        }
        port_->clearError();
        return false;
    }
    return true;
}

bool SerialTransport::isOpen() const {
    return port_->isOpen();
}

void SerialTransport::close() {
    if (port_->isOpen()) port_->close();
}

void SerialTransport::write(const QByteArray& bytes) {
    if (!port_->isOpen()) return;
    port_->write(bytes);
    // Handed to the system now, not at the wait's next pass through the event loop: every
    // echoed byte of a transfer would otherwise pay for one more pass before it leaves.
    port_->flush();
}

QByteArray SerialTransport::readAll() {
    return port_->isOpen() ? port_->readAll() : QByteArray();
}

void SerialTransport::purge() {
    if (!port_->isOpen()) return;
    port_->clear(QSerialPort::Output);
    port_->clear(QSerialPort::Input);
}

void SerialTransport::setDtr(bool on) {
    if (!port_->isOpen()) return;
    // A pseudo-terminal has no modem lines; the refusal is not a fault of the device.
    port_->blockSignals(true);
    port_->setDataTerminalReady(on);
    port_->clearError();
    port_->blockSignals(false);
}

void SerialTransport::setRts(bool on) {
    if (!port_->isOpen()) return;
    port_->blockSignals(true);
    port_->setRequestToSend(on);
    port_->clearError();
    port_->blockSignals(false);
}

void SerialTransport::onError(int error) {
    switch (QSerialPort::SerialPortError(error)) {
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::ResourceError:
            // A device that went away reports this without end while it stays open.
            if (port_->isOpen()) {
                port_->close();
                port_->clearError();
                emit lost();
            }
            break;
        default:
            break;
    }
}

// ---- InProcessTransport ---------------------------------------------------------------------

bool InProcessTransport::open(const QString& device, QString& error) {
    if (!openError.isEmpty()) {
        error = openError;
        return false;
    }
    error.clear();
    openedDevice = device;
    open_ = true;
    return true;
}

void InProcessTransport::close() {
    open_ = false;
    txQueue_.clear();
    rxQueue_.clear();
    injected_.clear();
}

void InProcessTransport::write(const QByteArray& bytes) {
    if (!open_) return;
    written += bytes;
    txQueue_ += bytes;
    schedule();
}

QByteArray InProcessTransport::readAll() {
    QByteArray r;
    r.swap(rxQueue_);
    return r;
}

void InProcessTransport::purge() {
    txQueue_.clear();
    rxQueue_.clear();
    injected_.clear();
}

void InProcessTransport::inject(const QByteArray& bytes) {
    if (!open_) return;
    injected_ += bytes;
    schedule();
}

void InProcessTransport::vanish() {
    if (!open_) return;
    close();
    emit lost();
}

void InProcessTransport::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &InProcessTransport::deliver, Qt::QueuedConnection);
}

void InProcessTransport::deliver() {
    scheduled_ = false;
    if (!open_) return;
    QByteArray in;
    in.swap(txQueue_);
    QByteArray out;
    out.swap(injected_);
    if (peer)
        for (const char c : in) out += peer(static_cast<quint8>(c));
    if (out.isEmpty()) return;
    rxQueue_ += out;
    emit readyRead();
}

}  // namespace varnel
