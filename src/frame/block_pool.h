// Bump allocator of the decoder object. Blocks live until the pool dies.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Vantrel::QVX {

class block_pool {
public:
    // Opens the first block of `initial_size` bytes.
    void create(uint64_t initial_size);
    // n bytes from the current block, or null before create().
    void* allocate(uint64_t n);

    uint64_t used() const { return used_; }
    uint64_t capacity() const { return capacity_; }
    uint64_t initial_size() const { return initial_size_; }
    size_t block_count() const { return blocks_.size(); }

private:
    void open_block(uint64_t size);

    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    uint8_t* current_ = nullptr;
    uint64_t used_ = 0;
    uint64_t initial_size_ = 0;
    uint64_t capacity_ = 0;
};

}  // namespace Vantrel::QVX
