#include "box_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace kexbox {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two hexadecimal digits at s[at], or -1.
int hexByte(const std::string& s, size_t at) {
    if (at + 2 > s.size()) return -1;
    const int hi = hexDigit(s[at]);
    const int lo = hexDigit(s[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

std::string hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

bool parseNumber(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

constexpr size_t kMaxCommand = 32;

}  // namespace

bool Faults::parse(const std::string& word, std::string& error) {
    const size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const std::string arg = eq == std::string::npos ? std::string() : word.substr(eq + 1);
    long n = -1;
    if (name == "on") {
        if (arg != "prompt" && arg != "Q" && arg != "M" && arg != "C") {
            error = "fault on= takes prompt, Q, M or C";
            return false;
        }
        on = arg;
        return true;
    }
    const bool needsNumber = name == "no-ack" || name == "bad-read" || name == "no-read-ack" ||
                             name == "short-read" || name == "silent-after" || name == "delay" ||
                             name == "die-at" || name == "from" || name == "until";
    if (needsNumber && (!parseNumber(arg, n) || n < 0)) {
        error = "fault " + name + " needs a number: " + name + "=N";
        return false;
    }
    if (!needsNumber && eq != std::string::npos) {
        error = "fault " + name + " takes no number";
        return false;
    }
    if (name == "no-echo")
        noEcho = true;
    else if (name == "no-reply")
        noReply = true;
    else if (name == "short-q")
        shortQ = true;
    else if (name == "no-v")
        noV = true;
    else if (name == "bad-version")
        badVersion = true;
    else if (name == "short-m")
        shortM = true;
    else if (name == "no-ack")
        noAckAt = int(n);
    else if (name == "bad-read")
        badReadAt = int(n);
    else if (name == "no-read-ack")
        noReadAckAt = int(n);
    else if (name == "short-read")
        shortReadAt = int(n);
    else if (name == "lower-hex")
        lowerHex = true;
    else if (name == "silent-after")
        silentAfter = n;
    else if (name == "garbage")
        garbage = true;
    else if (name == "truncate")
        truncate = true;
    else if (name == "delay")
        delayMs = int(n);
    else if (name == "die-at")
        dieAt = n;
    else if (name == "from")
        from = n;
    else if (name == "until")
        until = n;
    else {
        error = "unknown fault: " + word;
        return false;
    }
    return true;
}

const char* Faults::help() {
    return "  no-echo         replies, but echoes nothing\n"
           "  no-reply        echoes, but never replies\n"
           "  short-q         answers Q with 9 characters\n"
           "  no-v            answers Q without V as its third character\n"
           "  bad-version     answers Q with a version that is not a number\n"
           "  short-m         answers M with a value line under 25 characters\n"
           "  no-ack=N        does not acknowledge a write of byte N\n"
           "  bad-read=N      returns byte N inverted when it is read\n"
           "  no-read-ack=N   does not acknowledge a read of byte N\n"
           "  short-read=N    answers a read of byte N with its low digit only\n"
           "  lower-hex       answers reads in lower-case hexadecimal\n"
           "  silent-after=N  sends nothing once N bytes have been received\n"
           "  garbage         answers with bytes holding no terminator instead of replies\n"
           "  truncate        sends only the first half of each reply\n"
           "  delay=MS        sends each reply MS milliseconds after its carriage return\n"
           "  die-at=N        is killed (SIGKILL) when byte number N arrives\n"
           "  on=CMD          no-reply, garbage, truncate and delay touch only the replies\n"
           "                  to CMD: prompt, Q, M or C\n"
           "  from=N, until=N the faults hold from byte number N on, or up to byte N\n"
           "                  (die-at and silent-after count from the start regardless)\n"
           "SIGUSR1 clears every fault: the box behaves again.\n";
}

bool Faults::touches(const std::string& command) const {
    if (on.empty()) return true;
    if (on == "prompt") return command.empty();
    return !command.empty() && command[0] == on[0];
}

std::string BoxModel::feed(uint8_t b) {
    ++bytesIn;
    const bool silent = faults.silentAfter >= 0 && bytesIn > uint64_t(faults.silentAfter);
    static const Faults kNone;
    const bool held = (faults.from <= 0 || bytesIn >= uint64_t(faults.from)) &&
                      (faults.until < 0 || bytesIn <= uint64_t(faults.until));
    const Faults& f = held ? faults : kNone;
    std::string out;
    if (!f.noEcho) out += char(b);
    replyDelayed = false;
    if (b == '\r') {
        std::string reply = answer(command_, f);
        const bool hit = f.touches(command_);
        command_.clear();
        if (hit && f.noReply) {
            reply.clear();
        } else if (hit && f.garbage) {
            // Line noise: no byte the PC waits for (">", "+", line feed) is among them.
            static const char kNoise[] = "?#~!*@\x01\x7f\xfe\x80\x1b%";
            std::string noise;
            for (size_t i = 0; i < std::max<size_t>(reply.size(), 8); ++i)
                noise += kNoise[i % (sizeof kNoise - 1)];
            reply = noise;
        } else if (hit && f.truncate) {
            reply.resize(reply.size() / 2);
        }
        replyDelayed = hit && f.delayMs >= 0 && !reply.empty();
        replyAt = out.size();
        out += reply;
    } else if (b != '\n' && command_.size() <= kMaxCommand) {
        // A line feed is echoed but belongs to no command (terminals send CR LF).
        command_ += char(b);
    }
    if (b != '\r') replyAt = out.size();
    if (silent) {
        out.clear();
        replyAt = 0;
        replyDelayed = false;
    }
    bytesOut += out.size();
    return out;
}

std::string BoxModel::answer(const std::string& c, const Faults& f) {
    if (c.empty()) return "\r\n>";
    if (c == "Q") {
        if (f.shortQ) return "\r\nV" + version + "\r\n>";
        if (f.noV) return "\r\nKEX V" + version + "\r\n>";
        if (f.badVersion) return "\r\nV?.? KEX\r\n>";
        return "\r\nV" + version + " KEX\r\n>";
    }
    if (c == "M") {
        if (f.shortM) return "\r\nPOTS " + hex(uint16_t(adjust[0]), 4) + "\r\n>";
        std::string line = "\r\nPOTS";
        for (const int16_t a : adjust) line += " " + hex(uint16_t(a), 4);
        return line + "\r\n>";
    }
    if (c.size() == 5 && c[0] == 'C') {
        const int index = hexByte(c, 1);
        const int value = hexByte(c, 3);
        if (index >= 0 && value >= 0) {
            eeprom[size_t(index)] = uint8_t(value);
            if (onStore) onStore(index, uint8_t(value));
            return index == f.noAckAt ? "\r\n>" : "+\r\n>";
        }
    }
    if (c.size() == 4 && c[0] == 'C' && c[3] == '*') {
        const int index = hexByte(c, 1);
        if (index >= 0) {
            uint8_t v = eeprom[size_t(index)];
            if (index == f.badReadAt) v = uint8_t(~v);
            if (index == f.noReadAckAt) return "\r\n>";
            std::string digits = hex(v, 2);
            if (index == f.shortReadAt) digits.erase(0, 1);
            if (f.lowerHex)
                for (char& c : digits) c = char(std::tolower(static_cast<unsigned char>(c)));
            return digits + "+\r\n>";
        }
    }
    return "?\r\n>";
}

bool ParseAdjust(const std::string& text, std::array<int16_t, 4>& adjust) {
    std::array<int16_t, 4> result{};
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t comma = text.find(',', start);
        if ((k < 3) != (comma != std::string::npos)) return false;
        const std::string field = text.substr(start, k < 3 ? comma - start : std::string::npos);
        long v = 0;
        if (!parseNumber(field, v) || v < -32768 || v > 32767) return false;
        result[size_t(k)] = int16_t(v);
        start = comma + 1;
    }
    adjust = result;
    return true;
}

}  // namespace kexbox
