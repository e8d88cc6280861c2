// Where the writers put their bytes: a file that only appears under its name
// once it is whole, or memory (tests, benchmarks, fuzz seeds).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qrn::imaginglib::codecs {

class Dest {
public:
    virtual ~Dest() = default;
    // Each returns false once anything has failed; a failure sticks.
    virtual bool write(const void* bytes, size_t n) noexcept = 0;
    // Random access for formats whose header is patched after the data (TIFF).
    virtual bool seek(uint64_t pos) noexcept = 0;
    virtual uint64_t tell() const noexcept = 0;
    virtual uint64_t size() const noexcept = 0;
    bool ok() const { return ok_; }
    void fail() { ok_ = false; }

protected:
    bool ok_ = true;
};

class MemoryDest final : public Dest {
public:
    bool write(const void* bytes, size_t n) noexcept override;
    bool seek(uint64_t pos) noexcept override;
    uint64_t tell() const noexcept override { return pos_; }
    uint64_t size() const noexcept override { return bytes.size(); }
    std::vector<uint8_t> bytes;

private:
    uint64_t pos_ = 0;
};

// Writes into a temporary file beside path; commit() renames it over path,
// giving it the old file's permissions. Until then, and whenever anything
// fails, the old file stays as it was and the temporary is removed.
class FileDest final : public Dest {
public:
    explicit FileDest(const char* path) noexcept;
    ~FileDest() override;
    FileDest(const FileDest&) = delete;
    FileDest& operator=(const FileDest&) = delete;

    bool write(const void* bytes, size_t n) noexcept override;
    bool seek(uint64_t pos) noexcept override;
    uint64_t tell() const noexcept override;
    uint64_t size() const noexcept override { return size_; }
    bool commit() noexcept;

private:
    void discard() noexcept;
    std::string path_, temp_;
    std::FILE* file_ = nullptr;
    uint64_t pos_ = 0, size_ = 0;  // kept here: ftello may cost a system call
};

}  // namespace qrn::imaginglib::codecs
