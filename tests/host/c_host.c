/* c_host.c: decode IN.qvx into OUT.pnm (grey or RGB) or OUT.raw (any other layout). */
#include <qvx/qvx.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    FILE* f;
    unsigned char* bytes;
    long size;
    qvx_settings settings;
    qvx_decoder* decoder;
    qvx_frame frame;
    int rc;

    if (argc != 3) {
        fprintf(stderr, "usage: c_host IN.qvx OUT\n");
        return 2;
    }
    f = fopen(argv[1], "rb");
    if (!f || fseek(f, 0, SEEK_END) != 0 || (size = ftell(f)) < 0 || fseek(f, 0, SEEK_SET) != 0) return 1;
    bytes = (unsigned char*)malloc(size ? (size_t)size : 1);
    if (!bytes || fread(bytes, 1, (size_t)size, f) != (size_t)size) return 1;
    fclose(f);

    qvx_settings_init(&settings);
    settings.interleaved = 1;          /* RGBRGB... rather than one plane per component */
    settings.max_pixels = 100000000;   /* refuse hostile headers before any allocation */
    if (qvx_decoder_create(&settings, &decoder) != QVX_OK) return 1;

    rc = qvx_decode(decoder, bytes, (size_t)size, &frame);
    free(bytes);
    if (rc != QVX_OK) {
        fprintf(stderr, "%s: %s (%d)\n", argv[1], qvx_last_error(decoder), rc);
        qvx_decoder_destroy(decoder);
        return 1;
    }
    printf("%s: %ux%u, %u channel(s), %u-bit, layout %u, library %s\n", argv[1], frame.info.width,
           frame.info.height, frame.info.channels, frame.info.bit_depth, frame.info.layout, qvx_version());

    f = fopen(argv[2], "wb");
    if (!f) return 1;
    /* Interleaved grey or RGB samples, high byte first, are a 16-bit PGM/PPM body. */
    if (frame.info.layout == QVX_LAYOUT_INTERLEAVED && (frame.info.channels == 1 || frame.info.channels == 3))
        fprintf(f, "P%c\n%u %u\n%u\n", frame.info.channels == 1 ? '5' : '6', frame.info.width, frame.info.height,
                (1u << frame.info.bit_depth) - 1u);
    fwrite(frame.data, 1, (size_t)frame.info.sample_bytes, f);
    fclose(f);

    qvx_frame_free(&frame);
    qvx_decoder_destroy(decoder);
    return 0;
}
