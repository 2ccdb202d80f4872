#include "frame/block_pool.h"

namespace Vantrel::QVX {

void block_pool::open_block(uint64_t size) {
    // Uninitialised on purpose: users initialise what they read.
    // Owned before the list grows, so a failure to grow it frees the block.
    std::unique_ptr<uint8_t[]> block(new uint8_t[size ? size : 1]);
    blocks_.push_back(std::move(block));
    current_ = blocks_.back().get();
    capacity_ = size;
    used_ = 0;
}

void block_pool::create(uint64_t initial_size) {
    open_block(initial_size);
    initial_size_ = initial_size;
}

void* block_pool::allocate(uint64_t n) {
    if (!current_) return nullptr;
    if (used_ + n >= capacity_) {
        uint64_t size = initial_size_ / 4;
        // A request that would not fit a regular block gets a block of its own size.
        if (n >= size) size = n + 1;
        open_block(size);
    }
    void* p = current_ + used_;
    used_ += n;
    return p;
}

}  // namespace Vantrel::QVX
