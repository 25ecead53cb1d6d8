#include "project_header.h"

#include <algorithm>

namespace varnel {

int32_t ProjectHeader::i32(int o) const {
    const uint32_t v = uint32_t(bytes_[o]) | uint32_t(bytes_[o + 1]) << 8 |
                       uint32_t(bytes_[o + 2]) << 16 | uint32_t(bytes_[o + 3]) << 24;
    return static_cast<int32_t>(v);
}

void ProjectHeader::setI32(int o, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes_[o + i] = static_cast<uint8_t>(u >> (8 * i));
}

int16_t ProjectHeader::i16(int o) const {
    return static_cast<int16_t>(uint16_t(bytes_[o]) | uint16_t(bytes_[o + 1]) << 8);
}

void ProjectHeader::setI16(int o, int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    bytes_[o] = static_cast<uint8_t>(u & 0xFF);
    bytes_[o + 1] = static_cast<uint8_t>(u >> 8);
}

QString ProjectHeader::str(int o, int capacity) const {
    const int len = std::min<int>(bytes_[o], capacity);
    return QString::fromLatin1(reinterpret_cast<const char*>(&bytes_[o + 1]), len);
}

void ProjectHeader::setStr(int o, int capacity, const QString& s) {
    const QByteArray text = s.left(capacity).toLatin1();
    bytes_[o] = static_cast<uint8_t>(text.size());
    for (int i = 0; i < text.size(); ++i) bytes_[o + 1 + i] = static_cast<uint8_t>(text[i]);
}

QByteArray ProjectHeader::toByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(bytes_.data()), kHeaderSize);
}

}  // namespace varnel
