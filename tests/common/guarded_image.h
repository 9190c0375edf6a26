// Test images that fault on any access past their last byte, with canary
// padding between rows so that writes past a row's width are seen.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace mira_test {

constexpr uint8_t kCanary = 0xA5;

// A block of `size` bytes whose last byte sits right before a PROT_NONE page,
// so reading or writing one byte past the end faults.
class GuardedBlock {
public:
    explicit GuardedBlock(size_t size) : size_(size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t body = (size + page - 1) / page * page;
        mapLen_ = body + page;
        void* p = mmap(nullptr, mapLen_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
        if (p == MAP_FAILED) abort();
        base_ = static_cast<uint8_t*>(p);
        mprotect(base_ + body, page, PROT_NONE);
        data_ = base_ + body - size;
    }
    ~GuardedBlock() { munmap(base_, mapLen_); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t mapLen_ = 0;
    size_t size_ = 0;
};

// A plane of `rows` rows of `rowBytes` bytes with `stride` >= rowBytes. The
// last row ends right at the guard page, so any access past the last row's
// width faults; padding between rows holds the canary.
class GuardedImage {
public:
    GuardedImage(uint32_t rowBytes, uint32_t rows, uint32_t stride)
        : rowBytes_(rowBytes), rows_(rows), stride_(stride),
          block_(rows ? static_cast<size_t>(stride) * (rows - 1) + (rowBytes ? rowBytes : 1) : 1) {
        std::memset(block_.data(), kCanary, block_.size());
    }
    uint8_t* data() { return block_.data(); }
    const uint8_t* data() const { return block_.data(); }
    uint8_t* row(uint32_t y) { return data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* row(uint32_t y) const { return data() + static_cast<size_t>(y) * stride_; }
    uint32_t stride() const { return stride_; }
    uint32_t rows() const { return rows_; }
    uint32_t rowBytes() const { return rowBytes_; }

    void fillRandom(uint32_t seed) {
        std::mt19937 rng(seed);
        for (uint32_t y = 0; y < rows_; ++y)
            for (uint32_t x = 0; x < rowBytes_; ++x) row(y)[x] = static_cast<uint8_t>(rng());
    }
    void fill(uint8_t v) {
        for (uint32_t y = 0; y < rows_; ++y) std::memset(row(y), v, rowBytes_);
    }
    // True when every byte outside the rows' width still holds the canary.
    bool paddingIntact() const {
        for (uint32_t y = 0; y < rows_; ++y)
            for (uint32_t x = rowBytes_; x < stride_ && y + 1 < rows_; ++x)
                if (row(y)[x] != kCanary) return false;
        return true;
    }
    // The rows' defined bytes, packed.
    std::vector<uint8_t> packed() const {
        std::vector<uint8_t> out(static_cast<size_t>(rowBytes_) * rows_);
        for (uint32_t y = 0; y < rows_; ++y)
            std::memcpy(out.data() + static_cast<size_t>(y) * rowBytes_, row(y), rowBytes_);
        return out;
    }

private:
    uint32_t rowBytes_, rows_, stride_;
    GuardedBlock block_;
};

}  // namespace mira_test
