#include "persistence/safe_save.h"

#include "platform/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Makes a rename inside the folder durable.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void WriteFileSafely(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, OldFile oldFile) {
    const std::string shown = path.string();
    std::string temporary = shown + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) platform::Raise("Failed To Open File '%s' For Writing", shown.c_str());
    ::fchmod(fd, 0644);
    const bool written = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        platform::Raise("Failed To Write File '%s'", shown.c_str());
    }
    // The previous version stays as NAME.bak; a second name for it costs nothing on disk. The
    // new backup is made under a staging name and renamed over the old one, so a save killed at
    // any moment leaves a whole NAME.bak (the old backup or the new one), never none or half.
    std::error_code error;
    if (oldFile == OldFile::KeepAsBackup && std::filesystem::is_regular_file(path, error)) {
        const std::string backup = shown + ".bak";
        const std::string staged = backup + ".new";
        ::unlink(staged.c_str());
        bool made = ::link(path.c_str(), staged.c_str()) == 0;
        if (!made && std::filesystem::copy_file(path, staged, error)) {
            const int copy = ::open(staged.c_str(), O_RDONLY);
            made = copy >= 0 && ::fsync(copy) == 0;
            if (copy >= 0) ::close(copy);
        }
        if (!made || ::rename(staged.c_str(), backup.c_str()) != 0) ::unlink(staged.c_str());
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        platform::Raise("Failed To Write File '%s'", shown.c_str());
    }
    SyncFolder(path.parent_path());
}
