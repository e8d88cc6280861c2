// Owned, 64-byte aligned pixel storage for everything the engine allocates, with
// a test hook that makes chosen allocations fail.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace qrn {

// Allocation failure injection for tests: after `n` more successful allocations,
// every allocation fails until reset(); fail_next(n): the next n allocations
// fail, later ones succeed. live_blocks() counts blocks not yet freed.
namespace alloc_hook {
void fail_after(long n);
void fail_next(long n);
void reset();
long live_blocks();
}  // namespace alloc_hook

void* aligned_alloc_bytes(std::size_t bytes) noexcept;  // null on failure
void aligned_free_bytes(void* p) noexcept;

template <class T>
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
    Buffer& operator=(Buffer&& o) noexcept {
        if (this != &o) {
            reset();
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
        }
        return *this;
    }
    ~Buffer() { reset(); }

    // Zero-filled block of `count` elements, or an empty buffer when memory is short.
    static Buffer try_make(std::size_t count) noexcept {
        Buffer b;
        if (count == 0 || count > SIZE_MAX / sizeof(T)) return b;
        void* p = aligned_alloc_bytes(count * sizeof(T));
        if (!p) return b;
        std::memset(p, 0, count * sizeof(T));
        b.data_ = static_cast<T*>(p);
        b.size_ = count;
        return b;
    }
    // As try_make, but a failure throws std::bad_alloc (the export guard reports it).
    // A count of 0 gives an empty buffer (a 0 x H canvas is legal).
    static Buffer make(std::size_t count) {
        Buffer b = try_make(count);
        if (count == 0) return b;
        if (!b.data_) throw std::bad_alloc();
        return b;
    }

    void reset() noexcept {
        if (data_) aligned_free_bytes(data_);
        data_ = nullptr;
        size_ = 0;
    }
    void fill_bytes(uint8_t v) noexcept {
        if (data_) std::memset(data_, v, size_ * sizeof(T));
    }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t bytes() const noexcept { return size_ * sizeof(T); }
    bool empty() const noexcept { return data_ == nullptr; }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace qrn
