#pragma once

#include "app/project_header.h"
#include "image/eeprom_image.h"

#include <QDate>
#include <QString>

namespace varnel {

inline constexpr int kProjectFileSize = kHeaderSize + kImageSize;

// Whole days since 30 December 1899, the epoch of the project file's dates.
int32_t DayNumber(const QDate& date);

// Writes header then image atomically: on failure the previous file is left as it was and
// errorText holds the message the user is shown ("File access denied", "Disk full", ...).
bool WriteProjectFile(const QString& path, const ProjectHeader& header, const EepromImage& image,
                      QString& errorText);

}  // namespace varnel
