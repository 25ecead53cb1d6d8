#pragma once

#include "box_model.h"
#include "link/box_link.h"
#include "link/byte_transport.h"

#include <QByteArray>
#include <QMap>

#include <memory>

namespace varnel::test {

// A box that echoes every byte and answers each CR-ended command from a table; commands not in
// the table get no reply at all. For replies the real box would never send.
struct ScriptedPeer {
    QMap<QByteArray, QByteArray> replies;
    bool echo = true;
    QByteArray command;

    QByteArray operator()(quint8 b) {
        QByteArray out;
        if (echo) out += char(b);
        if (b == '\r') {
            out += replies.value(command);
            command.clear();
        } else {
            command += char(b);
        }
        return out;
    }
};

// A link whose line leads to a box model in this process. The model (and so the wire protocol
// it speaks) is kexbox's own.
class InProcessBox {
  public:
    explicit InProcessBox(int timeoutMs = 100)
        : model(std::make_shared<kexbox::BoxModel>()),
          transport(new InProcessTransport),
          link(transport) {
        link.TimeoutMs = timeoutMs;
        attachModel();
    }

    // The line now leads to the model (the default).
    void attachModel() {
        auto m = model;
        transport->peer = [m](quint8 b) {
            const std::string s = m->feed(b);
            return QByteArray(s.data(), qsizetype(s.size()));
        };
    }
    // The line now leads to a scripted peer.
    void attach(const ScriptedPeer& peer) { transport->peer = peer; }
    // The line now leads nowhere: nothing echoes, nothing answers.
    void detach() { transport->peer = nullptr; }

    // Opens the link and lets the box's answers to the opening carriage returns pass.
    bool open() {
        QString error;
        if (!link.OpenLink(error)) return false;
        link.WaitQuiet(20);
        transport->written.clear();
        return true;
    }

    std::shared_ptr<kexbox::BoxModel> model;
    InProcessTransport* transport;  // owned by link
    BoxLink link;
};

}  // namespace varnel::test
