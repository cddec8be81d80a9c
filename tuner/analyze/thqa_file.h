// THQA feature data files: 385 bytes, read and written as they are.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace lumora::analyze {

constexpr int kThqaDataSize = 385;
using ThqaData = std::array<uint8_t, kThqaDataSize>;

// Reads up to 385 bytes from the start of the file over the start of
// `data`; the bytes past a shorter file keep their values. False, with
// `data` unchanged, when the file cannot be opened.
bool loadThqaFile(const QString& path, ThqaData& data);

// Writes the 385 bytes as the whole file. The bytes go to a temporary file
// beside it that replaces the file only once complete, so a file that
// cannot be written keeps its old contents and a longer old file keeps no
// stale bytes past the 385.
bool saveThqaFile(const QString& path, const ThqaData& data);

}  // namespace lumora::analyze
