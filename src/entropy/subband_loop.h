// Entropy decoding of every subband of every component into coef_store.
#pragma once

namespace Vantrel::QVX {

class QVXDecoder;

// Demultiplexes the codestream after the header, decodes every subband
// stream and writes every cell of coef_store's planes. Streams decode on up
// to `threads` threads (0: one per core); results and errors are the same
// for every thread count.
void decodeSubbands(QVXDecoder& decoder, unsigned threads = 1);

}  // namespace Vantrel::QVX
