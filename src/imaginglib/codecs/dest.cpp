// Byte destinations of the writers. A host's file is never truncated in place:
// a reader of the old file, or a failed write, must not see half a picture.
#include "imaginglib/codecs/dest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qrn::imaginglib::codecs {

bool MemoryDest::write(const void* data, size_t n) noexcept {
    if (!ok_) return false;
    try {
        const uint64_t end = pos_ + n;
        if (end > bytes.size()) bytes.resize(size_t(end));
        if (n) std::memcpy(bytes.data() + pos_, data, n);
        pos_ = end;
    } catch (...) {
        ok_ = false;
    }
    return ok_;
}

bool MemoryDest::seek(uint64_t pos) noexcept {
    if (!ok_) return false;
    try {
        if (pos > bytes.size()) bytes.resize(size_t(pos));  // as a file would, with zeros
        pos_ = pos;
    } catch (...) {
        ok_ = false;
    }
    return ok_;
}

FileDest::FileDest(const char* path) noexcept {
    ok_ = false;
    if (!path || !*path) return;
    try {
        path_ = path;
        // Through a symbolic link to the file it names, as writing in place
        // would have gone; renaming over the link would replace the link.
        struct stat link {};
        if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
            char* real = ::realpath(path, nullptr);
            if (!real) return;
            path_ = real;
            std::free(real);
        }
        const size_t slash = path_.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
        if (base.empty()) return;
        // O_EXCL with our own names rather than mkstemp: the file gets 0666 less
        // the umask, as a plain fopen would have given it.
        for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
            temp_ = dir + "." + base + "." + std::to_string(getpid()) + "-" +
                    std::to_string(attempt) + ".tmp";
            const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                temp_.clear();
                return;
            }
            file_ = ::fdopen(fd, "wb");
            if (!file_) {
                ::close(fd);
                ::unlink(temp_.c_str());
                temp_.clear();
                return;
            }
        }
        ok_ = file_ != nullptr;
    } catch (...) {
        discard();
    }
}

FileDest::~FileDest() { discard(); }

void FileDest::discard() noexcept {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    ok_ = false;
}

bool FileDest::write(const void* data, size_t n) noexcept {
    if (!ok_) return false;
    if (n && std::fwrite(data, 1, n, file_) != n) return ok_ = false;
    pos_ += n;
    if (pos_ > size_) size_ = pos_;
    return true;
}

bool FileDest::seek(uint64_t pos) noexcept {
    if (!ok_ || pos > uint64_t(INT64_MAX) || ::fseeko(file_, off_t(pos), SEEK_SET) != 0)
        return ok_ = false;
    pos_ = pos;
    return true;
}

uint64_t FileDest::tell() const noexcept { return pos_; }

bool FileDest::commit() noexcept {
    if (!ok_) {
        discard();
        return false;
    }
    bool good = std::fflush(file_) == 0;
    struct stat old {};
    if (good && ::stat(path_.c_str(), &old) == 0)
        good = ::fchmod(::fileno(file_), old.st_mode & 07777) == 0;
    good = std::fclose(file_) == 0 && good;
    file_ = nullptr;
    if (good) good = ::rename(temp_.c_str(), path_.c_str()) == 0;
    if (good) temp_.clear();
    discard();
    return good;
}

}  // namespace qrn::imaginglib::codecs
