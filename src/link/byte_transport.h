#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QSerialPort;

namespace varnel {

// The bytes to and from the box, whatever carries them. A write may only queue (bytes leave when
// the event loop runs), so the link never relies on a write being done.
class ByteTransport : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Opens the device; on failure returns false with the text the user is shown.
    virtual bool open(const QString& device, QString& error) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual void write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Drops queued output, then pending input.
    virtual void purge() = 0;
    // Modem lines; a device without them (a pseudo-terminal) ignores the request.
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;

  signals:
    void readyRead();
    // The device went away while open (an adapter unplugged); the transport has closed itself.
    void lost();
};

// A real serial port (or kexbox's pseudo-terminal): 9600 baud, 8N1, no flow control.
class SerialTransport : public ByteTransport {
    Q_OBJECT
  public:
    explicit SerialTransport(QObject* parent = nullptr);
    ~SerialTransport() override;

    bool open(const QString& device, QString& error) override;
    bool isOpen() const override;
    void close() override;
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void purge() override;
    void setDtr(bool on) override;
    void setRts(bool on) override;

    QSerialPort& port() { return *port_; }

  private:
    void onError(int error);
    QSerialPort* port_;
};

// A transport whose other end is a function in this process (the box model in tests, or
// nothing at all). Every byte written is handed to the peer when the event loop next runs, and
// the peer's answer arrives as received bytes, so the timing is that of a fast real line.
class InProcessTransport : public ByteTransport {
    Q_OBJECT
  public:
    // Takes one byte from the PC and returns what the other end sends back (possibly nothing).
    using Peer = std::function<QByteArray(quint8)>;

    explicit InProcessTransport(QObject* parent = nullptr) : ByteTransport(parent) {}

    Peer peer;
    // When not empty, open() fails with this text.
    QString openError;
    // Everything written while open, in order (for tests).
    QByteArray written;
    QString openedDevice;

    bool open(const QString& device, QString& error) override;
    bool isOpen() const override { return open_; }
    void close() override;
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void purge() override;
    void setDtr(bool on) override { dtr = on; }
    void setRts(bool on) override { rts = on; }
    bool dtr = false;
    bool rts = false;

    // Bytes as if sent by the other end, delivered when the event loop next runs.
    void inject(const QByteArray& bytes);
    // The device vanishes, as an unplugged adapter does.
    void vanish();

  private:
    void deliver();
    void schedule();
    bool open_ = false;
    bool scheduled_ = false;
    QByteArray txQueue_;
    QByteArray rxQueue_;
    QByteArray injected_;
};

}  // namespace varnel
