#include "qvx/SimpleQvxDecoder.h"

#include <new>
#include <string>
#include <utility>

#include "api/SimpleQvxDecoderPrivate.h"
#include "api/frame_description.h"
#include "base/error.h"
#include "base/messages.h"

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
    DecoderSettings& host = members().host;
    host.info = FrameInfo();
    const int result = members().decode(in, out);
    if (result == 0) host.info = host.pending;
    return result;
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

SimpleQvxDecoder::FrameInfo SimpleQvxDecoder::frameInfo() const { return members().host.info; }

int SimpleQvxDecoder::probe(const mem_data* in, FrameInfo* info, bool interleaved, const char** error) {
    thread_local std::string message;
    const char* text = msg::kNoStream;
    if (in && info) {
        try {
            ProbeOptions options;
            options.interleaved = interleaved;
            *info = probe_stream(*in, options);
            return 0;
        } catch (const QvxError& e) {
            try {
                message = e.text();
                text = message.c_str();
            } catch (const std::bad_alloc&) {
                text = msg::kOutOfMemory;
            }
        } catch (const std::bad_alloc&) {
            text = msg::kOutOfMemory;
        }
    }
    if (error) *error = text;
    return 1;
}

void SimpleQvxDecoder::setMaxPixels(uint64_t max_samples) { members().host.max_pixels = max_samples; }

void SimpleQvxDecoder::setQuiet(bool quiet) {
    DecoderSettings& host = members().host;
    host.lines_redirected = quiet;
    host.sink = LineSink();
}

void SimpleQvxDecoder::setMessageSink(MessageSink sink, void* context) {
    DecoderSettings& host = members().host;
    host.lines_redirected = sink != nullptr;
    host.sink.write = sink;
    host.sink.context = sink ? context : nullptr;
}

void SimpleQvxDecoder::setRejectUnsupportedBayerModes(bool reject) {
    members().host.reject_unsupported_bayer = reject;
}

const char* SimpleQvxDecoder::lastError() const { return members().last_error.c_str(); }

SimpleQvxDecoderPrivate& SimpleQvxDecoder::members() { return *d; }
const SimpleQvxDecoderPrivate& SimpleQvxDecoder::members() const { return *d; }

}  // namespace Vantrel::QVX
