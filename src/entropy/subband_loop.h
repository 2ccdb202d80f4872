// Position-by-position decoding of every subband of every component.
#pragma once

namespace Vantrel::QVX {

class QVXDecoder;

// Demultiplexes the codestream after the header and fills coef_store.
void decodeSubbands(QVXDecoder& decoder);

}  // namespace Vantrel::QVX
