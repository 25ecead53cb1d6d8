#pragma once

#include "support/in_process_box.h"

#include <QByteArray>
#include <QTimer>

#include <functional>
#include <memory>

namespace varnel::test {

// The box model with points where a test can act in the middle of an exchange: when the box
// has taken a whole command (before the PC sees its answer), and while the prompt after an
// acknowledgement is held back. Used to place an Abort click exactly.
struct BoxHooks {
    // Called with each command as its CR reaches the box.
    std::function<void(const QByteArray& command)> onCommand;
    // The reply to this command is delivered up to its "+" at once and the rest (the prompt)
    // holdMs later; whileHeld runs in between, while the PC waits for that prompt.
    QByteArray holdPromptOf;
    // ... or, when set, the whole reply after the command's echo.
    bool holdReply = false;
    int holdMs = 30;
    std::function<void()> whileHeld;
};

// Puts hooks between the line and the box's model. The hooks must outlive the exchanges.
inline void AttachHooks(InProcessBox& box, const std::shared_ptr<BoxHooks>& hooks) {
    auto model = box.model;
    InProcessTransport* transport = box.transport;
    auto command = std::make_shared<QByteArray>();
    transport->peer = [model, transport, hooks, command](quint8 b) {
        const std::string s = model->feed(b);
        QByteArray out(s.data(), qsizetype(s.size()));
        if (b != '\r') {
            *command += char(b);
            return out;
        }
        const QByteArray done = *command;
        command->clear();
        if (hooks->onCommand) hooks->onCommand(done);
        const qsizetype plus = hooks->holdReply ? 0 : out.indexOf('+');
        if (done != hooks->holdPromptOf || plus < 0) return out;
        const QByteArray rest = out.mid(plus + 1);
        if (hooks->whileHeld) QTimer::singleShot(hooks->holdMs / 3, hooks->whileHeld);
        QTimer::singleShot(hooks->holdMs, transport,
                           [transport, rest] { transport->inject(rest); });
        return out.left(plus + 1);
    };
}

}  // namespace varnel::test
