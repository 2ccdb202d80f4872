/* C interface of libQvxDecode. Valid C99 and C++; no exception crosses it
 * and no call ends the process. Every function is safe to call from any
 * thread; one decoder serves one thread at a time. */
#ifndef QVX_QVX_H
#define QVX_QVX_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define QVX_C_API __declspec(dllexport)
#else
#  define QVX_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: 0 or one of these negative values. */
enum {
    QVX_OK = 0,
    QVX_ERROR_ARGUMENT = -1,    /* a null pointer or a bad settings struct */
    QVX_ERROR_STREAM = -2,      /* the stream cannot be decoded; see qvx_last_error */
    QVX_ERROR_MEMORY = -3,      /* memory ran out */
    QVX_ERROR_LIMIT = -4,       /* the frame exceeds max_pixels */
    QVX_ERROR_UNSUPPORTED = -5, /* a Bayer mode the library cannot rebuild */
    QVX_ERROR_INTERNAL = -6     /* any other failure */
};

/* How the samples of a decoded frame are arranged in its buffer. */
typedef enum qvx_layout {
    QVX_LAYOUT_NONE = 0,        /* no frame */
    QVX_LAYOUT_PLANAR = 1,      /* components one after the other, each height x width */
    QVX_LAYOUT_INTERLEAVED = 2, /* height x width pixels of `channels` samples */
    QVX_LAYOUT_CBYCRY = 3,      /* 4:2:2: each pixel pair is Cb Y0 Cr Y1, so 2 samples a pixel */
    QVX_LAYOUT_BAYER = 4        /* one height x width camera mosaic */
} qvx_layout;

/* The 2 x 2 colour cell of a Bayer mosaic, top row then bottom row. */
typedef enum qvx_bayer_pattern {
    QVX_BAYER_NONE = 0, /* not a mosaic, or an arrangement the stream does not name */
    QVX_BAYER_RGGB = 1,
    QVX_BAYER_GRBG = 2,
    QVX_BAYER_BGGR = 3,
    QVX_BAYER_GBRG = 4
} qvx_bayer_pattern;

/* What a decoded (or probed) frame holds. Samples are 16-bit, high byte
 * first, of which the low bit_depth bits are significant. */
typedef struct qvx_frame_info {
    uint32_t width;           /* output pixels per row (the mosaic width for Bayer) */
    uint32_t height;          /* output rows */
    uint32_t channels;        /* samples per pixel: components; 2 for CBYCRY; 1 for Bayer */
    uint32_t components;      /* components the stream codes */
    uint32_t bit_depth;       /* significant bits per output sample */
    uint32_t layout;          /* qvx_layout */
    uint32_t bayer_mode;      /* 0: not a mosaic */
    uint32_t bayer_pattern;   /* qvx_bayer_pattern */
    uint32_t color_mode;      /* the stream's colour-transform mode */
    uint32_t color_transform; /* 1 when an inverse colour transform is applied to the components */
    uint32_t cell_transform;  /* Bayer: 1 cell YCbCr, 2 green difference, 3 both; else 0 */
    uint32_t tone_table;      /* 1 when the tone table is applied */
    uint32_t stream_version;
    uint32_t reserved0;
    uint64_t sample_bytes;    /* bytes of the buffer that hold samples */
    uint64_t buffer_bytes;    /* size of the whole buffer (unused bytes at the end are 0) */
} qvx_frame_info;

/* A decoded frame; release it with qvx_frame_free. */
typedef struct qvx_frame {
    qvx_frame_info info;
    const uint8_t* data; /* info.buffer_bytes bytes */
    void* owner;         /* library-owned; do not touch */
} qvx_frame;

/* Receives each diagnostic line of a decode, line end included. */
typedef void (*qvx_message_fn)(void* user, const char* line);

/* Decoder settings. Fill them with qvx_settings_init, then change fields;
 * struct_size tells the library which fields the host knows, so hosts built
 * against an older, shorter struct keep working. */
typedef struct qvx_settings {
    uint32_t struct_size;
    uint32_t interleaved;     /* 1: pixel-interleaved instead of planar output */
    uint32_t threads;         /* 1 (default): caller's thread only; 0: one per core */
    uint32_t reserved0;
    uint64_t max_pixels;      /* reject frames of more width x height x components; 0: no limit */
    const char* lut_path;     /* tone-table file (copied), or null */
    qvx_message_fn message;   /* null (default): diagnostic lines are dropped */
    void* message_user;
    uint64_t reserved[8];     /* must be 0 */
} qvx_settings;

typedef struct qvx_decoder qvx_decoder;

/* Library version, "major.minor.patch". */
QVX_C_API const char* qvx_version(void);

/* Default settings, struct_size set. */
QVX_C_API void qvx_settings_init(qvx_settings* settings);

/* Creates a decoder; settings may be null for the defaults. Bayer modes
 * that the library cannot rebuild are always rejected with
 * QVX_ERROR_UNSUPPORTED. */
QVX_C_API int qvx_decoder_create(const qvx_settings* settings, qvx_decoder** decoder);
QVX_C_API void qvx_decoder_destroy(qvx_decoder* decoder);

/* Decodes one frame of size bytes. On success fills *frame, which the
 * caller releases with qvx_frame_free; on failure *frame is zeroed. */
QVX_C_API int qvx_decode(qvx_decoder* decoder, const uint8_t* data, size_t size, qvx_frame* frame);

/* Releases a frame's buffer and zeroes the struct; null is ignored. */
QVX_C_API void qvx_frame_free(qvx_frame* frame);

/* The message of the decoder's last failure; "" after a success. */
QVX_C_API const char* qvx_last_error(const qvx_decoder* decoder);

/* Reads only the stream header and describes the frame that a fresh decoder
 * with these settings (null: defaults) would return. Changes nothing.
 * On failure the message goes to *error when error is not null (a static
 * or thread-local text, valid until the next qvx_probe on the thread). */
QVX_C_API int qvx_probe(const uint8_t* data, size_t size, const qvx_settings* settings, qvx_frame_info* info,
                        const char** error);

#ifdef __cplusplus
}
#endif

#endif
