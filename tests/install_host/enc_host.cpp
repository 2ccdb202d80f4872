// Uses the installed encoder: a lossless round trip of a small grey ramp
// through the encoder library and the installed decoder.
#include <qvx/QvxEncoder.h>

#include <cstdio>

int main() {
    using namespace Vantrel::QVX::enc;
    ImagePlanes image(16, 8, 1);
    for (size_t i = 0; i < image.planes[0].size(); ++i) image.planes[0][i] = uint16_t(i * 13 % 4096);
    EncoderSettings s;
    s.width = 16;
    s.height = 8;
    s.bit_depth = 12;
    s.w_kernel = 3;
    const EncodedImage e = encode_image(s, image);
    const ImagePlanes back = decode_image(e.bytes);
    if (back.planes[0] != image.planes[0]) {
        std::printf("the encoder's stream does not decode to its input\n");
        return 1;
    }
    std::printf("encoded and decoded %zu bytes\n", e.bytes.size());
    return 0;
}
