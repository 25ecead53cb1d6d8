#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace varnel {

inline constexpr int kHeaderSize = 512;

// The 512-byte project record. It is kept as the bytes themselves, because the file format
// preserves bytes the program does not interpret (reserved areas, the tail of a string after a
// shorter one replaced it); the accessors read and write each field little-endian.
class ProjectHeader {
public:
    ProjectHeader() { clear(); }
    void clear() { bytes_.fill(0); }

    int32_t CreatedDate() const { return i32(0x000); }
    void setCreatedDate(int32_t v) { setI32(0x000, v); }
    int32_t ModifiedDate() const { return i32(0x004); }
    void setModifiedDate(int32_t v) { setI32(0x004, v); }
    int16_t TotalRecords() const { return i16(0x008); }
    void setTotalRecords(int16_t v) { setI16(0x008, v); }
    int16_t HeaderRecords() const { return i16(0x00A); }
    void setHeaderRecords(int16_t v) { setI16(0x00A, v); }
    int16_t SoftwareVersion() const { return i16(0x00C); }
    void setSoftwareVersion(int16_t v) { setI16(0x00C, v); }
    int16_t HardwareVersion() const { return i16(0x00E); }
    void setHardwareVersion(int16_t v) { setI16(0x00E, v); }
    uint8_t Group() const { return bytes_[0x010]; }
    void setGroup(uint8_t v) { bytes_[0x010] = v; }
    uint8_t OutputType() const { return bytes_[0x011]; }
    void setOutputType(uint8_t v) { bytes_[0x011] = v; }
    uint8_t Metric() const { return bytes_[0x012]; }
    void setMetric(uint8_t v) { bytes_[0x012] = v; }
    uint8_t VInMeterGroup() const { return bytes_[0x013]; }
    void setVInMeterGroup(uint8_t v) { bytes_[0x013] = v; }
    uint8_t VOutMeterGroup() const { return bytes_[0x014]; }
    void setVOutMeterGroup(uint8_t v) { bytes_[0x014] = v; }
    QString ProjectName() const { return str(0x040, 63); }
    void setProjectName(const QString& s) { setStr(0x040, 63, s); }
    QString Description() const { return str(0x080, 63); }
    void setDescription(const QString& s) { setStr(0x080, 63, s); }
    QString VInMeterName() const { return str(0x0C0, 31); }
    void setVInMeterName(const QString& s) { setStr(0x0C0, 31, s); }
    QString VOutMeterName() const { return str(0x0E0, 31); }
    void setVOutMeterName(const QString& s) { setStr(0x0E0, 31, s); }

    uint8_t byte(int offset) const { return bytes_.at(static_cast<size_t>(offset)); }
    void setByte(int offset, uint8_t v) { bytes_.at(static_cast<size_t>(offset)) = v; }
    const std::array<uint8_t, kHeaderSize>& bytes() const { return bytes_; }
    QByteArray toByteArray() const;

    bool operator==(const ProjectHeader& other) const = default;

private:
    int32_t i32(int o) const;
    void setI32(int o, int32_t v);
    int16_t i16(int o) const;
    void setI16(int o, int16_t v);
    // string[n]: a length byte, then the text in the 8-bit code page (Latin-1 here). A length
    // byte above n (a damaged file) reads as the whole field, never into the next one.
    QString str(int o, int capacity) const;
    void setStr(int o, int capacity, const QString& s);

    std::array<uint8_t, kHeaderSize> bytes_{};
};

}  // namespace varnel
