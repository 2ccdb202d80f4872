// Entropy decoding of every subband of every component into coef_store.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

class QVXDecoder;

// Demultiplexes the codestream after the header, decodes every subband
// stream and writes every cell of coef_store's planes. Streams decode on up
// to `threads` threads (0: one per core); results and errors are the same
// for every thread count. When words_needed is given, entry s receives the
// number of words stream s took (also past the words it has), before any
// error is raised; stream inspection uses it.
void decodeSubbands(QVXDecoder& decoder, unsigned threads = 1, uint64_t* words_needed = nullptr);

}  // namespace Vantrel::QVX
