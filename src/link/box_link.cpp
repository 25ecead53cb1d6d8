#include "box_link.h"

#include "link/byte_transport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace varnel {

namespace {

// The box's waits are counted in milliseconds; a coarse timer could end one early.
void preciseOneShot(QTimer& timer) {
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
}

}  // namespace

// One wait of StartTimer .. StopTimer. Waits nest when a handler run inside a wait starts an
// operation of its own; each keeps its own timer, so the inner one cannot stop the outer's.
struct BoxLink::Wait {
    QEventLoop loop;
    QTimer timer;
    bool timedOut = false;
};

BoxLink::BoxLink(QObject* parent) : BoxLink(new SerialTransport, parent) {}

BoxLink::BoxLink(ByteTransport* transport, QObject* parent) : QObject(parent) {
    setTransport(transport);
}

BoxLink::~BoxLink() {
    for (Wait* w : waits_) w->loop.quit();
}

void BoxLink::setTransport(ByteTransport* transport) {
    if (transport_) {
        transport_->disconnect(this);
        transport_->close();
        transport_->deleteLater();
    }
    transport_ = transport;
    transport_->setParent(this);
    connect(transport_, &ByteTransport::readyRead, this, &BoxLink::readPort);
    connect(transport_, &ByteTransport::lost, this, [this] {
        wakeWaits();
        emit linkLost();
    });
}

bool BoxLink::isOpen() const {
    return transport_->isOpen();
}

QString BoxLink::PortName(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString BoxLink::DeviceName() const {
    if (!PortOverride.isEmpty()) return PortOverride;
    if (!Device.isEmpty()) return Device;
    return PortName(PortNumber);
}

bool BoxLink::OpenLink(QString& error) {
    RxHead = 1;
    RxTail = 1;
    ShowRx = true;
    TimeoutFlag = false;
    if (!transport_->open(DeviceName(), error)) return false;
    FlushLink();
    transport_->setDtr(true);
    transport_->setRts(false);
    openingPrompts_ = 2;
    opened_.start();
    SendByte(13);
    SendByte(13);
    return true;
}

void BoxLink::StartTimer() {
    auto* w = new Wait;
    preciseOneShot(w->timer);
    connect(&w->timer, &QTimer::timeout, this, [w] {
        w->timedOut = true;
        w->loop.quit();
    });
    waits_.push_back(w);
    TimeoutFlag = false;
    if (cancelled_)
        w->timedOut = true;
    else if (!clockHeld_)
        w->timer.start(TimeoutMs);
}

void BoxLink::StopTimer() {
    if (!waits_.empty()) {
        Wait* w = waits_.back();
        waits_.pop_back();
        w->timer.stop();
        delete w;
    }
    TimeoutFlag = false;
}

bool BoxLink::TimedOut() {
    if (waits_.empty()) {
        if (cancelled_) return TimeoutFlag = true;
        ProcessMessages();
        return TimeoutFlag;
    }
    Wait* w = waits_.back();
    if (cancelled_) {
        // No event may run: the close or exit behind the cancel comes once the operation is out.
        w->timedOut = true;
    } else if (RxTail != RxHead) {
        // Bytes are waiting to be taken: only let due events (the timer among them) run.
        ProcessMessages();
    } else if (!w->timedOut && transport_->isOpen()) {
        // The condition is tested before exec(): a quit() issued earlier would be lost. A loop
        // that cannot run any more (the application is quitting) returns -1 at once, and its
        // timer would never fire.
        if (w->loop.exec() < 0) w->timedOut = true;
    }
    if (RxTail == RxHead && !transport_->isOpen()) w->timedOut = true;
    TimeoutFlag = w->timedOut;
    return TimeoutFlag;
}

void BoxLink::FlushLink() {
    RxTail = RxHead;
    transport_->purge();
}

bool BoxLink::GetRxByte(uint8_t& b) {
    if (RxTail == RxHead) return false;
    b = RxBuf[RxTail];
    if (++RxTail >= 200) RxTail = 1;
    return true;
}

void BoxLink::StoreRxByte(uint8_t b) {
    if (b == '>' && openingPrompts_ > 0) --openingPrompts_;
    RxBuf[RxHead] = b;
    if (++RxHead >= 200) RxHead = 1;
    if (ShowRx) emit rxByte(b);
    wakeWaits();
}

void BoxLink::wakeWaits() {
    // Every wait re-tests its condition: an outer one resumes only after the inner has ended.
    for (Wait* w : waits_) w->loop.quit();
}

void BoxLink::readPort() {
    const QByteArray bytes = transport_->readAll();
    for (const char c : bytes) StoreRxByte(static_cast<uint8_t>(c));
}

bool BoxLink::ReceiveUntil(uint8_t terminator) {
    StartTimer();
    Response.clear();
    for (;;) {
        uint8_t b = 0;
        if (GetRxByte(b)) {
            Response += QChar::fromLatin1(char(b));
            if (b == terminator) {
                StopTimer();
                return true;
            }
        }
        if (TimedOut()) {
            StopTimer();
            return false;
        }
    }
}

void BoxLink::SendByte(uint8_t b) {
    if (cancelled_) return;
    transport_->write(QByteArray(1, char(b)));
}

bool BoxLink::SendByteEcho(uint8_t b) {
    SendByte(b);
    StartTimer();
    for (;;) {
        if (TimedOut()) {
            StopTimer();
            return false;
        }
        uint8_t echo = 0;
        if (GetRxByte(echo)) {
            StopTimer();
            return true;
        }
    }
}

bool BoxLink::SendCommand(const QString& text, uint8_t terminator, bool& abortFlag) {
    if (!cancelled_) emit commandSent(text);
    QByteArray bytes;
    for (const QChar c : text) bytes += c.toLatin1();
    bytes += '\r';
    for (const char c : bytes) {
        // A cancel stops the command after the byte in flight.
        if (cancelled_) break;
        // A lost echo costs its time-out; the command goes on regardless.
        SendByteEcho(static_cast<uint8_t>(c));
        if (!cancelled_) ProcessMessages();
    }
    if (cancelled_ || !ReceiveUntil(terminator)) abortFlag = true;
    return !abortFlag;
}

void BoxLink::CancelWaits() {
    cancelled_ = true;
    for (Wait* w : waits_) w->timedOut = true;
    wakeWaits();
    if (quietLoop_) quietLoop_->quit();
}

void BoxLink::ResumeWaits() {
    cancelled_ = false;
}

void BoxLink::HoldClock() {
    clockHeld_ = true;
    for (Wait* w : waits_) w->timer.stop();
}

void BoxLink::ReleaseClock() {
    clockHeld_ = false;
    for (Wait* w : waits_)
        if (!w->timedOut) w->timer.start(TimeoutMs);
}

bool BoxLink::WaitQuiet(int quietMs, int prompts) {
    if (!transport_->isOpen() || cancelled_) return false;
    QEventLoop loop;
    QTimer quiet;
    preciseOneShot(quiet);
    QTimer limit;
    preciseOneShot(limit);
    bool wentQuiet = false;
    connect(&quiet, &QTimer::timeout, &loop, [&] {
        wentQuiet = true;
        loop.quit();
    });
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Every byte that arrives starts the quiet period again; once the prompts are in, only a
    // short settle remains, in case the box had more to say.
    constexpr int kSettleMs = 5;
    int seen = 0;
    int scanned = RxTail;
    const auto conn = connect(transport_, &ByteTransport::readyRead, &loop, [&] {
        for (; scanned != RxHead; scanned = scanned + 1 >= 200 ? 1 : scanned + 1)
            if (RxBuf[size_t(scanned)] == '>') ++seen;
        quiet.start(prompts > 0 && seen >= prompts ? std::min(quietMs, kSettleMs) : quietMs);
    });
    const auto lostConn = connect(transport_, &ByteTransport::lost, &loop, &QEventLoop::quit);
    quiet.start(quietMs);
    limit.start(TimeoutMs);
    // One pass only, so a loop that cannot run any more (exec() returns at once) ends it too.
    QEventLoop* const outer = std::exchange(quietLoop_, &loop);
    loop.exec();
    quietLoop_ = outer;
    disconnect(conn);
    disconnect(lostConn);
    FlushLink();
    return wentQuiet;
}

bool BoxLink::AwaitOpening() {
    const qint64 left = openingPrompts_ > 0 ? TimeoutMs - opened_.elapsed() : 0;
    if (left > 0 && transport_->isOpen() && !cancelled_) {
        QEventLoop loop;
        QTimer limit;
        preciseOneShot(limit);
        QTimer settle;
        preciseOneShot(settle);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&settle, &QTimer::timeout, &loop, &QEventLoop::quit);
        // Connected after readPort, so the prompts of this delivery are already counted.
        constexpr int kSettleMs = 5;
        const auto conn = connect(transport_, &ByteTransport::readyRead, &loop, [&] {
            if (openingPrompts_ == 0) settle.start(kSettleMs);
        });
        const auto lostConn = connect(transport_, &ByteTransport::lost, &loop, &QEventLoop::quit);
        limit.start(int(left));
        QEventLoop* const outer = std::exchange(quietLoop_, &loop);
        loop.exec();
        quietLoop_ = outer;
        disconnect(conn);
        disconnect(lostConn);
    }
    // Answered or given up: no later operation waits for the opening again.
    const bool answered = openingPrompts_ == 0;
    openingPrompts_ = 0;
    return answered;
}

void BoxLink::ProcessMessages() {
    QCoreApplication::processEvents();
}

}  // namespace varnel
