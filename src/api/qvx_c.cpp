// The C interface over SimpleQvxDecoder. Every entry point catches
// everything, and the Bayer-mode guard is always on, so neither an exception
// nor a process exit reaches a C host.
#include "qvx/qvx.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "api/decoder_settings.h"
#include "api/frame_description.h"
#include "base/error.h"
#include "base/messages.h"
#include "qvx/SimpleQvxDecoder.h"

using Vantrel::QVX::SimpleQvxDecoder;
namespace msg = Vantrel::QVX::msg;

struct qvx_decoder {
    SimpleQvxDecoder decoder;
    // A failure the decoder object did not report (memory, internal); null
    // when lastError() holds the message.
    const char* own_error = nullptr;
};

namespace {

// The fields of settings the host's struct actually has, defaults elsewhere.
// Bytes the host has beyond our struct must be 0: they would be settings
// this library does not know.
bool read_settings(const qvx_settings* given, qvx_settings& s) {
    qvx_settings_init(&s);
    if (!given) return true;
    const size_t size = given->struct_size;
    if (size < offsetof(qvx_settings, max_pixels)) return false;
    std::memcpy(&s, given, size < sizeof s ? size : sizeof s);
    const unsigned char* extra = reinterpret_cast<const unsigned char*>(given);
    for (size_t i = sizeof s; i < size; ++i)
        if (extra[i]) return false;
    for (uint64_t r : s.reserved)
        if (r) return false;
    return s.interleaved <= 1;
}

int code_for(const char* message) {
    if (std::strcmp(message, msg::kPixelLimit) == 0) return QVX_ERROR_LIMIT;
    if (std::strcmp(message, msg::kUnsupportedBayer) == 0) return QVX_ERROR_UNSUPPORTED;
    return QVX_ERROR_STREAM;
}

}  // namespace

extern "C" {

const char* qvx_version(void) { return QVX_VERSION_STRING; }

void qvx_settings_init(qvx_settings* settings) {
    if (!settings) return;
    std::memset(settings, 0, sizeof *settings);
    settings->struct_size = sizeof *settings;
    settings->threads = 1;
}

int qvx_decoder_create(const qvx_settings* settings, qvx_decoder** decoder) {
    if (!decoder) return QVX_ERROR_ARGUMENT;
    *decoder = nullptr;
    qvx_settings s;
    if (!read_settings(settings, s)) return QVX_ERROR_ARGUMENT;
    try {
        std::unique_ptr<qvx_decoder> d(new qvx_decoder);
        SimpleQvxDecoder& dec = d->decoder;
        dec.setInterleaved(s.interleaved != 0);
        dec.setThreads(s.threads);
        dec.setMaxPixels(s.max_pixels);
        dec.setLutPath(s.lut_path);
        if (s.message) dec.setMessageSink(s.message, s.message_user);
        else dec.setQuiet(true);
        dec.setRejectUnsupportedBayerModes(true);
        *decoder = d.release();
        return QVX_OK;
    } catch (const std::bad_alloc&) {
        return QVX_ERROR_MEMORY;
    } catch (...) {
        return QVX_ERROR_INTERNAL;
    }
}

void qvx_decoder_destroy(qvx_decoder* decoder) { delete decoder; }

int qvx_decode(qvx_decoder* decoder, const uint8_t* data, size_t size, qvx_frame* frame) {
    if (frame) std::memset(frame, 0, sizeof *frame);
    if (!decoder || !frame || (!data && size)) return QVX_ERROR_ARGUMENT;
    decoder->own_error = nullptr;
    // The decoder only reads its input.
    mem_data in(const_cast<unsigned char*>(data), size);
    mem_data* out = nullptr;
    try {
        if (decoder->decoder.decode(&in, &out) != 0) return code_for(decoder->decoder.lastError());
    } catch (const std::bad_alloc&) {
        decoder->own_error = msg::kOutOfMemory;
        return QVX_ERROR_MEMORY;
    } catch (...) {
        decoder->own_error = msg::kInternalFailure;
        return QVX_ERROR_INTERNAL;
    }
    frame->info = decoder->decoder.frameInfo();
    frame->data = out->data;
    frame->owner = out;
    return QVX_OK;
}

void qvx_frame_free(qvx_frame* frame) {
    if (!frame) return;
    mem_data* out = static_cast<mem_data*>(frame->owner);
    if (out) {
        delete[] out->data;
        delete out;
    }
    std::memset(frame, 0, sizeof *frame);
}

const char* qvx_last_error(const qvx_decoder* decoder) {
    if (!decoder) return "";
    return decoder->own_error ? decoder->own_error : decoder->decoder.lastError();
}

int qvx_probe(const uint8_t* data, size_t size, const qvx_settings* settings, qvx_frame_info* info,
              const char** error) {
    thread_local std::string message;
    const char* text = msg::kBadArgument;
    int code = QVX_ERROR_ARGUMENT;
    qvx_settings s;
    if (info) std::memset(info, 0, sizeof *info);
    if (info && (data || !size) && read_settings(settings, s)) {
        try {
            Vantrel::QVX::ProbeOptions options;
            options.interleaved = s.interleaved != 0;
            options.max_pixels = s.max_pixels;
            *info = Vantrel::QVX::probe_stream(mem_data(const_cast<unsigned char*>(data), size), options);
            return QVX_OK;
        } catch (const Vantrel::QVX::QvxError& e) {
            code = code_for(e.text().c_str());
            try {
                message = e.text();
                text = message.c_str();
            } catch (...) {
                text = msg::kOutOfMemory;
                code = QVX_ERROR_MEMORY;
            }
        } catch (const std::bad_alloc&) {
            text = msg::kOutOfMemory;
            code = QVX_ERROR_MEMORY;
        } catch (...) {
            text = msg::kInternalFailure;
            code = QVX_ERROR_INTERNAL;
        }
    }
    if (error) *error = text;
    return code;
}

}  // extern "C"
