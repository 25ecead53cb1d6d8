#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class QEventLoop;

namespace varnel {

class ByteTransport;

// The serial line to the box: the port, the receive ring, the one-second waits and the command
// transaction. Every wait runs a nested event loop that ends on a received byte or on its own
// single-shot timer, so the window stays responsive and a silent port costs no CPU. Once the
// application is quitting, a nested loop returns at once without running its timers: a wait
// that finds its loop ended that way counts as timed out, so nothing spins.
class BoxLink : public QObject {
    Q_OBJECT
  public:
    // A link on a real serial port.
    explicit BoxLink(QObject* parent = nullptr);
    // A link on the given transport, which it takes over.
    explicit BoxLink(ByteTransport* transport, QObject* parent = nullptr);
    ~BoxLink() override;

    void setTransport(ByteTransport* transport);
    ByteTransport& transport() { return *transport_; }
    bool isOpen() const;

    // Settings. Device (kex.ini System/Device, saved at close) names any device path instead of
    // PortNumber; PortOverride (the command line's --port) names one for this run only.
    int PortNumber = 2;
    int BaudRate = 9600;  // kept for the settings file; the line always runs at 9600
    QString Device;
    QString PortOverride;
    // Every wait for the box ends after this many milliseconds.
    int TimeoutMs = 1000;

    // "COM<n>" on Windows, "/dev/ttyS<n-1>" elsewhere.
    static QString PortName(int portNumber);
    // The device OpenLink opens.
    QString DeviceName() const;

    // The receive ring: indices 1..199; empty when RxTail == RxHead. It has no overflow check:
    // 199 bytes not taken make it read as empty again. No reply comes near that size.
    std::array<uint8_t, 200> RxBuf{};
    int RxHead = 1;
    int RxTail = 1;
    // Received bytes go to the terminal screen (rxByte) from the opening of the link on.
    bool ShowRx = false;
    bool TimeoutFlag = false;
    // The text collected by the last ReceiveUntil, terminator included.
    QString Response;

    // Opens the port and sends two carriage returns without waiting. On failure returns false
    // with the text the user is shown; the program then goes on without a link.
    virtual bool OpenLink(QString& error);

    void StartTimer();
    void StopTimer();
    // Lets events run (waiting for a byte or the time-out while the ring is empty), then tells
    // whether the current wait has timed out. A closed port times out at once: nothing can come.
    bool TimedOut();

    void FlushLink();
    bool GetRxByte(uint8_t& b);
    void StoreRxByte(uint8_t b);
    bool ReceiveUntil(uint8_t terminator);
    void SendByte(uint8_t b);
    bool SendByteEcho(uint8_t b);

    // One command transaction: the text and CR, each byte waiting for its echo, then the reply
    // up to the terminator. A failed reply sets abortFlag; true only with the reply and a clear
    // abortFlag (which the Abort button may set meanwhile).
    bool SendCommand(const QString& text, uint8_t terminator, bool& abortFlag);

    // Waits until no byte has arrived for quietMs (at most TimeoutMs in all), then flushes. The
    // box's answers to the opening carriage returns come in after OpenLink; an operation started
    // right away would take them for echoes. With prompts > 0 it also ends, after a few quiet
    // milliseconds, once that many prompts (">") have come: the answers are then complete, and
    // a script need not pay the whole quiet period before every run.
    bool WaitQuiet(int quietMs, int prompts = 0);

    // Waits until the box has answered the two opening carriage returns (their two prompts, then
    // a few quiet milliseconds) or until the time-out since OpenLink has passed, whichever is
    // first; at once when that happened before. Every box operation starts with it: a slow box
    // may answer the opening late, within its time-out, and an operation started meanwhile would
    // take those answers for the echoes and replies of its own commands. True when the answers
    // came.
    bool AwaitOpening();

    // Runs pending events once, as the waits do between steps.
    static void ProcessMessages();

    // Ends every wait at once, as timed out, and makes every later one end so until
    // ResumeWaits(); meanwhile nothing is sent and a command fails without a byte. For a program
    // that must leave while an operation waits (the window closing, an interrupt signal): the
    // operation stops after the byte in flight and unwinds through its usual failure path.
    void CancelWaits();
    void ResumeWaits();
    bool waitsCancelled() const { return cancelled_; }

    // Stops the clock of every wait until ReleaseClock(), which gives each wait still running
    // its whole time again: a question put to the user in the middle of an operation may stay
    // up for longer than the box is given, and the box's answer that came meanwhile still
    // counts.
    void HoldClock();
    void ReleaseClock();

  signals:
    // A received byte, while ShowRx is set.
    void rxByte(quint8 b);
    // The text of each command as SendCommand starts it (empty for the prompt check).
    void commandSent(const QString& text);
    // The port went away while open and has been closed.
    void linkLost();

  private:
    struct Wait;
    void readPort();
    void wakeWaits();
    ByteTransport* transport_ = nullptr;
    std::vector<Wait*> waits_;         // innermost last
    QEventLoop* quietLoop_ = nullptr;  // WaitQuiet's or AwaitOpening's, while it runs
    bool cancelled_ = false;
    QElapsedTimer opened_;
    int openingPrompts_ = 0;  // prompts still owed for the opening carriage returns
    bool clockHeld_ = false;
};

}  // namespace varnel
