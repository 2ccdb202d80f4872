// Public decoding interface of libQvxDecode.
// Self-contained and valid C++11, so any host can include it.
#ifndef QVX_SIMPLE_QVX_DECODER_H
#define QVX_SIMPLE_QVX_DECODER_H

#include <stdint.h>

#include "qvx/qvx.h"

#if defined(_WIN32)
#  define QVX_API __declspec(dllexport)
#else
#  define QVX_API __attribute__((visibility("default")))
#endif

// A window on a byte buffer: data moves forward as bytes are consumed,
// bytes_read counts them, size is the whole buffer. Owns nothing.
struct QVX_API mem_data {
    unsigned char* data;
    uint64_t bytes_read;
    uint64_t size;

    mem_data(unsigned char* d = 0, uint64_t sz = 0, uint64_t read = 0)
        : data(d), bytes_read(read), size(sz) {}
    mem_data& operator=(const mem_data& o) {
        data = o.data;
        bytes_read = o.bytes_read;
        size = o.size;
        return *this;
    }
    mem_data(const mem_data& o) : data(o.data), bytes_read(o.bytes_read), size(o.size) {}

    // Back to the start of the buffer.
    void rewind();
    // Back by n bytes; past the start acts as rewind().
    void rewind(uint64_t n);
    uint64_t get_num_bytes_read() const;
};

namespace Vantrel {
namespace QVX {

class SimpleQvxDecoderPrivate;

class QVX_API SimpleQvxDecoder {
public:
    SimpleQvxDecoder();
    ~SimpleQvxDecoder();
    SimpleQvxDecoder(const SimpleQvxDecoder& other);
    SimpleQvxDecoder& operator=(const SimpleQvxDecoder& other);
#if __cplusplus >= 201103L
    SimpleQvxDecoder(SimpleQvxDecoder&& other) noexcept;
    SimpleQvxDecoder& operator=(SimpleQvxDecoder&& other) noexcept;
#endif

    // Decodes one frame. Returns 0 and sets *out to a new record of 16-bit
    // big-endian samples, or returns 1 and leaves *out untouched.
    // The third argument is accepted and not read.
    int decode(mem_data* in, mem_data** out, unsigned char* unused = 0);

    // Pixel-interleaved instead of planar output for later decode calls.
    void setInterleaved(bool interleaved);

    // Tone-table file for streams encoded through a tone curve. The decoder
    // keeps its own copy; null or "" clears it.
    void setLutPath(const char* path);

    // Frees an output record returned by decode and nulls the caller's pointer.
    // Null arguments are ignored.
    void deleteBuffer(mem_data** buffer);

    // The message of the last failed decode on this object; "" after a success.
    const char* lastError() const;

    // Threads that later decode calls on this object may use: 1 (the
    // default) decodes on the caller's thread alone, 0 uses one per core.
    // The output is the same for every count.
    void setThreads(unsigned threads);

    // Opt-in extensions. A host that calls none of them sees the behaviour
    // above unchanged: lines on standard output, no size limit, and a Bayer
    // mode of 6 or more ending the process.

    // What the buffer of a decode holds (see qvx.h for the fields).
    typedef qvx_frame_info FrameInfo;

    // The frame of the last successful decode on this object; all zero
    // (layout QVX_LAYOUT_NONE) before one and after a failed decode.
    FrameInfo frameInfo() const;

    // Reads only the stream header of *in (which is not changed) and
    // describes the frame a new decoder would return, planar or interleaved
    // as asked. Returns 0, or 1 with the message decode would give in
    // *error when error is not null (valid until the next probe on this
    // thread). Memory exhaustion is reported as 1 as well.
    static int probe(const mem_data* in, FrameInfo* info, bool interleaved = false, const char** error = 0);

    // Rejects (result 1, "Error: frame exceeds the pixel limit") a frame whose
    // header announces more than max_samples samples (width x height x
    // components), before anything frame-sized is allocated. 0: no limit.
    void setMaxPixels(uint64_t max_samples);

    // Drops the diagnostic lines instead of printing them; false restores
    // standard output.
    void setQuiet(bool quiet);

    // Hands each diagnostic line (line end included, the bytes standard
    // output would get) to sink instead; a null sink restores standard output.
    typedef void (*MessageSink)(void* context, const char* line);
    void setMessageSink(MessageSink sink, void* context);

    // Rejects (result 1, "Error: unsupported Bayer mode") a stream whose
    // Bayer mode would end the process, decided from the header before any
    // decoding.
    void setRejectUnsupportedBayerModes(bool reject);

private:
    SimpleQvxDecoderPrivate& members();
    const SimpleQvxDecoderPrivate& members() const;

    SimpleQvxDecoderPrivate* d;
};

}  // namespace QVX
}  // namespace Vantrel

#endif
