// Saving a file so that a crash, a kill or a full disk at any moment leaves either the old file or
// the new one, never a damaged one. Used for projects and for the options file. Any thread; the
// caller makes sure no two saves of the same path run at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// Whether the file that is replaced stays behind as "<path>.bak".
enum class OldFile { KeepAsBackup, Drop };

// Writes the bytes to the path without ever leaving a damaged file behind: a temporary file next
// to it, flushed and synced, then renamed over it (and the folder synced). With
// OldFile::KeepAsBackup the old file is kept as "<path>.bak". Raises "Failed To Open File '%s' For
// Writing" or "Failed To Write File '%s'" with the old file intact.
void WriteFileSafely(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                     OldFile oldFile = OldFile::KeepAsBackup);
