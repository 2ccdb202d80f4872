// An array a decoder keeps from call to call: it only grows, so a frame no
// larger than the last takes no fresh memory for it. Contents are not
// kept meaningful between uses and new room is not cleared.
#pragma once

#include <cstddef>
#include <memory>

namespace Vantrel::QVX {

template <class T>
class WorkArray {
public:
    // Room for at least n elements (at least one), as left by the last use.
    T* room(size_t n) {
        if (n == 0) n = 1;
        if (n > size_) {
            // The old room goes first, so the two never add up.
            data_.reset();
            size_ = 0;
            data_.reset(new T[n]);
            size_ = n;
        }
        return data_.get();
    }
    T* data() const { return data_.get(); }

private:
    std::unique_ptr<T[]> data_;
    size_t size_ = 0;
};

}  // namespace Vantrel::QVX
