// Buffer compression of the engine: zlib, bzip2 and PPMd variant G on memory buffers. Failures,
// including every library error, are reported as results; nothing here raises.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/types/mem_block.h"

namespace viz {

//! Compression algorithms as stored in BLOB descriptors.
enum TABSCompressionAlgorithm : uint8_t { acaNone = 0, acaZlib = 1, acaBZip = 2, acaPPM = 3 };

//! Returns the algorithm of a name ("NONE", "ZLIB", "BZIP", "PPM", any case); 0 for any other name.
uint8_t CompressionAlgorithmByName(std::string_view name);
//! Returns the name of an algorithm, "NONE" for an unknown one.
const char* CompressionAlgorithmName(uint8_t algorithm);

//! Compresses `inSize` bytes with algorithm 1-3 at mode 1-9 (zlib also takes 0). On success `out`
//! receives a block of the engine memory manager (the caller frees it) and `outSize` the compressed
//! size. Fails for another algorithm, an empty input, a library error or an output of 0 bytes.
bool CompressBuffer(uint8_t algorithm, int mode, const void* in, int64_t inSize, void*& out,
                    int64_t& outSize);

//! Decompresses `inSize` bytes into a new block of `expectedSize` bytes (`out`, freed by the caller);
//! `outSize` receives the bytes produced. Fails for another algorithm, an empty input, data that does
//! not decompress into `expectedSize` bytes or less, or an output of 0 bytes.
bool DecompressBuffer(uint8_t algorithm, const void* in, int64_t inSize, int64_t expectedSize, void*& out,
                      int64_t& outSize);

}  // namespace viz
