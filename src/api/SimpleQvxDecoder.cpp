#include "qvx/SimpleQvxDecoder.h"

#include <utility>

#include "api/SimpleQvxDecoderPrivate.h"

void mem_data::rewind() {
    data -= bytes_read;
    bytes_read = 0;
}

void mem_data::rewind(uint64_t n) {
    if (n > bytes_read) {
        rewind();
        return;
    }
    data -= n;
    bytes_read -= n;
}

uint64_t mem_data::get_num_bytes_read() const { return bytes_read; }

namespace Vantrel::QVX {

SimpleQvxDecoder::SimpleQvxDecoder() : d(new SimpleQvxDecoderPrivate) {}

SimpleQvxDecoder::~SimpleQvxDecoder() { delete d; }

SimpleQvxDecoder::SimpleQvxDecoder(const SimpleQvxDecoder& other)
    : d(new SimpleQvxDecoderPrivate(other.members())) {}

SimpleQvxDecoder& SimpleQvxDecoder::operator=(const SimpleQvxDecoder& other) {
    if (this != &other) members() = other.members();
    return *this;
}

// A moved-from decoder gets a fresh private state, so it stays usable.
SimpleQvxDecoder::SimpleQvxDecoder(SimpleQvxDecoder&& other) noexcept
    : d(std::exchange(other.d, new SimpleQvxDecoderPrivate)) {}

SimpleQvxDecoder& SimpleQvxDecoder::operator=(SimpleQvxDecoder&& other) noexcept {
    std::swap(d, other.d);
    return *this;
}

int SimpleQvxDecoder::decode(mem_data* in, mem_data** out, unsigned char*) {
    return members().decode(in, out);
}

void SimpleQvxDecoder::setInterleaved(bool interleaved) { members().interleaved = interleaved; }

void SimpleQvxDecoder::setLutPath(const char* path) { members().set_lut_path(path); }

void SimpleQvxDecoder::deleteBuffer(mem_data** buffer) {
    if (!buffer || !*buffer) return;
    delete[] (*buffer)->data;
    delete *buffer;
    *buffer = nullptr;
}

void SimpleQvxDecoder::setThreads(unsigned threads) { members().threads = threads; }

const char* SimpleQvxDecoder::lastError() const { return members().last_error.c_str(); }

SimpleQvxDecoderPrivate& SimpleQvxDecoder::members() { return *d; }
const SimpleQvxDecoderPrivate& SimpleQvxDecoder::members() const { return *d; }

}  // namespace Vantrel::QVX
