// Uses only the installed public header, compiled as C++11.
#include <qvx/SimpleQvxDecoder.h>

#include <cstdio>
#include <cstring>

static const unsigned char kStream[] = {
#include "tiny_stream.inc"
};

int main() {
    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setInterleaved(true);

    unsigned char cut[] = {0x56, 0x51, 0xFF, 0xFF, 7, 0};
    mem_data in(cut, sizeof cut);
    mem_data* out = 0;
    if (decoder.decode(&in, &out) != 1 || out != 0 || std::strlen(decoder.lastError()) == 0) {
        std::printf("a truncated stream must fail with a message\n");
        return 1;
    }
    std::printf("truncated stream: %s\n", decoder.lastError());

    mem_data good(const_cast<unsigned char*>(kStream), sizeof kStream);
    const int result = decoder.decode(&good, &out);
    if (result != 0 || out == 0) {
        std::printf("decode failed: %s\n", decoder.lastError());
        return 1;
    }
    const Vantrel::QVX::SimpleQvxDecoder::FrameInfo info = decoder.frameInfo();
    std::printf("decoded %llu bytes: %ux%u, %u channel(s), %u-bit\n", static_cast<unsigned long long>(out->size),
                info.width, info.height, info.channels, info.bit_depth);
    decoder.deleteBuffer(&out);
    if (out != 0 || info.width != 16 || info.height != 4 || info.layout != QVX_LAYOUT_INTERLEAVED ||
        info.sample_bytes != 16 * 4 * 2)
        return 1;

    // A host that caps the frame size refuses the same stream before decoding.
    decoder.setMaxPixels(16 * 4 - 1);
    mem_data again(const_cast<unsigned char*>(kStream), sizeof kStream);
    if (decoder.decode(&again, &out) != 1 || std::strcmp(decoder.lastError(), "Error: frame exceeds the pixel limit") != 0)
        return 1;
    std::printf("limited: %s\n", decoder.lastError());
    return 0;
}
