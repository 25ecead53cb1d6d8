#pragma once

#include "base/ui_services.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one is a finding, exactly like a crash: libFuzzer
// saves the input that broke it.
#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace varnel::fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input as 8-bit text, as files and the serial line deliver it.
inline QString latin1(const uint8_t* data, size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input as typed text: UTF-8, so that characters beyond Latin-1 reach the parsers too.
inline QString typed(const uint8_t* data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Event loops and the locale set-up want an application object, as in the program.
inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "varnel-fuzz";
    static char* argv[] = {name, nullptr};
    // The replay test has its own.
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// The user: every message is recorded; questions get the given answer.
class RecordingUi : public UiServices {
  public:
    explicit RecordingUi(Answer answer = Answer::No) : answer_(answer) {}
    QStringList messages;
    void error(const QString& text) override { messages << text; }
    void warning(const QString& text) override { messages << text; }
    void information(const QString& text) override { messages << text; }
    Answer confirm(const QString& text, bool) override {
        messages << text;
        return answer_;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int runModal(QDialog&) override { return 0; }
    void helpContents() override {}
    void helpSearch() override {}
    void helpTopic(int) override {}

  private:
    Answer answer_;
};

// Reads the input from the front, one field at a time; an exhausted input gives zeros.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    QByteArray take(size_t n) {
        if (n > size_ - pos_) n = size_ - pos_;
        QByteArray r(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n));
        pos_ += n;
        return r;
    }
    QByteArray rest() { return take(size_ - pos_); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace varnel::fuzz
