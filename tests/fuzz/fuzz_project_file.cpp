// The project file reader: any bytes either load or are refused with nothing changed, and a
// project that loads saves back to a file that loads to the same bytes.

#include "base/project_file.h"
#include "fuzz_support.h"

using namespace varnel;
using varnel::fuzz::bytes;

namespace {

// What memory held before the read: distinct from anything a file or a save writes.
void prefill(ProjectHeader& header, EepromImage& image) {
    for (int i = 0; i < kHeaderSize; ++i) header.setByte(i, uint8_t(0xA5 ^ i));
    for (int i = 0; i < kImageSize; ++i) image.setByte(i, uint8_t(0x5A ^ i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file = bytes(data, size);
    ProjectHeader header;
    EepromImage image;
    prefill(header, image);
    const ProjectHeader headerBefore = header;
    const EepromImage imageBefore = image;

    const ReadStatus status = ParseProjectFile(file, header, image);
    if (status != ReadStatus::Ok) {
        FUZZ_CHECK(status == ReadStatus::BadCounts || status == ReadStatus::ShortHeader ||
                   status == ReadStatus::ShortImage);
        // A refused file changes nothing in memory.
        FUZZ_CHECK(header == headerBefore);
        FUZZ_CHECK(image == imageBefore);
        return 0;
    }

    // What loaded is the file's records: the header records it names, then 16 image records;
    // the header bytes past those records keep what memory held.
    const int records = header.HeaderRecords();
    FUZZ_CHECK(records >= 1 && records <= kHeaderRecords);
    FUZZ_CHECK(header.TotalRecords() == records + kImageRecords);
    const int imageAt = records * kRecordSize;
    FUZZ_CHECK(file.size() >= imageAt + kImageSize);
    for (int i = 0; i < kHeaderSize; ++i)
        FUZZ_CHECK(header.byte(i) == (i < imageAt ? uint8_t(file[i]) : headerBefore.byte(i)));
    for (int i = 0; i < kImageSize; ++i) FUZZ_CHECK(image.byte(i) == uint8_t(file[imageAt + i]));

    // The texts the window shows are read within their fields, whatever their length bytes say.
    FUZZ_CHECK(header.ProjectName().size() <= 63);
    FUZZ_CHECK(header.Description().size() <= 63);
    FUZZ_CHECK(header.VInMeterName().size() <= 31);
    FUZZ_CHECK(header.VOutMeterName().size() <= 31);

    // Save, load, save: the second file is the first, byte for byte.
    StampHeaderForSave(header, 37470);
    const QByteArray saved = ProjectFileBytes(header, image);
    FUZZ_CHECK(saved.size() == kProjectFileSize);
    ProjectHeader header2;
    EepromImage image2;
    prefill(header2, image2);
    FUZZ_CHECK(ParseProjectFile(saved, header2, image2) == ReadStatus::Ok);
    FUZZ_CHECK(header2 == header);
    FUZZ_CHECK(image2 == image);
    FUZZ_CHECK(ProjectFileBytes(header2, image2) == saved);
    return 0;
}
