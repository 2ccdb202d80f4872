// Every text the decoder hands to a host: lastError() messages and the
// lines it prints. These texts are part of the decoder's contract: hosts
// match them, so they stay exactly as they are, misspellings ("mulitple",
// "preduction", "shitfting"), spacing and line ends included. Change one
// only together with every host that reads it.
#pragma once

namespace Vantrel::QVX::msg {

// ---- lastError(): stream header and frame checks ---------------------------
inline constexpr char kUndefinedComponentFormat[] = "Error: Undefined component format";
inline constexpr char kHeaderTruncated[] = "Error: Stream header truncated";
inline constexpr char kQpCountTooLarge[] = "Error: qp_count exceeds the table size";
inline constexpr char kWidthNotMultipleOf4[] = "Error: Width must be a mulitple of 4 and != 0";
inline constexpr char kHeightNotMultipleOf4[] = "Error: Height must be a multiple of 4 and != 0";
inline constexpr char kBitDepthNotSupported[] = "ERROR: bitdepth not supported!";
inline constexpr char kPixelLimit[] = "Error: frame exceeds the pixel limit";
inline constexpr char kUnsupportedBayer[] = "Error: unsupported Bayer mode";
inline constexpr char kFrameTooLarge[] = "Error: Frame too large for one output buffer";
inline constexpr char kNoStream[] = "Error: no stream";
inline constexpr char kOutOfMemory[] = "Error: out of memory";
inline constexpr char kInternalFailure[] = "Error: internal failure";
inline constexpr char kBadArgument[] = "Error: bad argument";
inline constexpr char kKernelSwitch[] = "internal error: default reached (w_kernel switch)";

// ---- lastError(): tone table -----------------------------------------------
inline constexpr char kLutNotUsed[] = "The file is encoded without using a LUT!";
inline constexpr char kLutMissing[] = "Missing LUT!";
inline constexpr char kLutNotFound[] = "LUT not found!";

// ---- lastError(): working planes -------------------------------------------
inline constexpr char kPlaneWidthZero[] = "Error image_memory::image_memory(). Width must greater than 0.";
inline constexpr char kPlaneHeightZero[] = "Error image_memory::image_memory(). Height must greater than 0.";
inline constexpr char kPlaneComponents[] = "Error image_memory::image_memory(). Number of components out of range.";
inline constexpr char kPlaneSubbands[] = "Error image_memory::image_memory(). Number of subbands out of range.";
inline constexpr char kPlaneWidthNot4[] = "Error image_memory::image_memory(). Image width must be a multiple of 4.";
inline constexpr char kPlaneHeightNot4[] = "Error image_memory::image_memory(). Image height must be a multiple of 4.";
inline constexpr char kPlaneWidthNotSubbands[] =
    "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands.";
inline constexpr char kPlaneScheme[] = "Error image_memory::image_memory(). Unsupported storing scheme.";
inline constexpr char kCellScheme[] = "Error image_memory::setDat(). Unsupported storing scheme.";

// ---- lastError(): entropy stage --------------------------------------------
inline constexpr char kKOverflow[] = "K overflow - fixme (encoder)!";
inline constexpr char kWrongPredictionMode[] = "Wrong prediction mode";
inline constexpr char kIllegalPrediction[] = "Illegal preduction type";
inline constexpr char kBufferSizeUnset[] = "Error: Buffersize not specified";
inline constexpr char kZeroWindow[] = "Error: rate-control window of 0 positions";
inline constexpr char kQTooLarge[] = "ERROR: q > 63";
inline constexpr char kNegativeBits[] = "Error: lb_add - added negative value";
inline constexpr char kMissingSubbandData[] = "Missing subband data";

// ---- lastError(): output stages --------------------------------------------
inline constexpr char kColorDepth[] = "ERROR: Bitdepth not supported! (colortransform)";
inline constexpr char kBayerComponents[] = "Error: Bayer mode needs more components than the stream carries";
inline constexpr char kBayerDepth[] = "Error: Bayer mosaic bit depth out of range";
inline constexpr char kBayerFit[] = "Error: Bayer mosaic does not fit the coded frame";
inline constexpr char kMallocFailed[] = "ERROR: malloc failed";
inline constexpr char kSubsampledComponents[] =
    "ERROR: load_frame() - fileio: only 3 components with color subsampling implemented!";

// ---- printed lines (standard output, or the host's message sink) -----------
inline constexpr char kReadLut[] = "read \" %s \" as lut!\n";
inline constexpr char kEntropyError[] = "entropy: merv_p: %6u sb %2u k %2u\n";
inline constexpr char kMaxAfterHaar[] = "max nach invHaar: %i\n";
inline constexpr char kMinAfterHaar[] = "min nach inv3Haar: %i\n";
inline constexpr char kColorMode1[] = " -> default transformation \n";
inline constexpr char kColorMode2[] = " -> JPEG2000 lossy transformation \n";
inline constexpr char kColorMode3[] = " -> JPEG2000 lossy transformation with shitfting \n";
inline constexpr char kColorMode4[] = " -> JPEG2000 lossless transformation \n";
inline constexpr char kColorMode9[] = " -> JPEG2000 lossless transformation with clipping \n";
inline constexpr char kColorMode10[] = " -> YCoCg-R lossless transformation \n";
inline constexpr char kColorMode11[] = " -> YCoCg-R lossless transformation with clipping \n";

// ---- packet walk diagnostics (reported by qvxdec --info) -------------------
inline constexpr char kTruncatedStream[] = "Truncated stream after %lu bytes read\n";
inline constexpr char kIgnoredBytes[] = "Ignored %lu bytes\n";
inline constexpr char kIllegalLength[] = "Illegal subband length (%u) in header at pos 0x%08lx, sb_idx=%u\n";

// ---- printed before the process ends with exit code 1 ----------------------
inline constexpr char kBayerNotImplemented[] = "Bayermode not implemented.\n";
inline constexpr char kInverseWidth[] = "Inverse mode not set, please check nxrGetWidth command\n";
inline constexpr char kForwardWidth[] = "Bayermode not specified in Width-calculation ";
inline constexpr char kInverseModeWidth[] = "Bayermode not specified in Width-calculation\n";
inline constexpr char kInverseHeight[] = "Inverse mode not set, please check nxrGetHeight command\n";
inline constexpr char kModeHeight[] = "Bayermode not specified in Height-calculation ";
inline constexpr char kInverseBitdepth[] = "Inverse mode not set, please check nxrGetBitdepth command\n";
inline constexpr char kModeBitdepth[] = "Bayermode not specified in Bitdepth-calculation ";

}  // namespace Vantrel::QVX::msg
