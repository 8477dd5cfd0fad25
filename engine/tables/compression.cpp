#include "engine/tables/compression.h"

#include <bzlib.h>
#include <zlib.h>

#include <cctype>
#include <limits>
#include <string>

#include "engine/storage/memory_manager.h"
#include "engine/tables/ppmd.h"

namespace viz {
namespace {

constexpr const char* kAlgorithmNames[] = {"NONE", "ZLIB", "BZIP", "PPM"};

void FreeQuietly(void*& block) {
  try {
    MemoryManager().FreeAndNillMem(block);
  } catch (...) {
    block = nullptr;
  }
}

// zlib and bzip2 start from input + input / 10 + 12 bytes rounded up to 256 and grow by 256 bytes
// while the library reports that the output does not fit.
bool CompressWithLibrary(uint8_t algorithm, int mode, const void* in, int64_t inSize, void*& out,
                         int64_t& outSize) {
  if (inSize > std::numeric_limits<unsigned int>::max() / 2) return false;
  size_t capacity = static_cast<size_t>(inSize + inSize / 10 + 12);
  capacity = (capacity + 255) / 256 * 256;
  out = MemoryManager().GetMem(capacity);
  for (;;) {
    if (algorithm == acaZlib) {
      uLongf destLen = static_cast<uLongf>(capacity);
      int rc = compress2(static_cast<Bytef*>(out), &destLen, static_cast<const Bytef*>(in),
                         static_cast<uLong>(inSize), mode);
      if (rc == Z_OK) {
        outSize = static_cast<int64_t>(destLen);
        return outSize > 0;
      }
      if (rc != Z_BUF_ERROR) return false;
    } else {
      unsigned int destLen = static_cast<unsigned int>(capacity);
      int rc = BZ2_bzBuffToBuffCompress(static_cast<char*>(out), &destLen,
                                        const_cast<char*>(static_cast<const char*>(in)),
                                        static_cast<unsigned int>(inSize), mode, 0, 0);
      if (rc == BZ_OK) {
        outSize = static_cast<int64_t>(destLen);
        return outSize > 0;
      }
      if (rc != BZ_OUTBUFF_FULL) return false;
    }
    capacity += 256;
    MemoryManager().ReallocMem(out, capacity);
  }
}

}  // namespace

uint8_t CompressionAlgorithmByName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (uint8_t i = 0; i < 4; i++)
    if (upper == kAlgorithmNames[i]) return i;
  return acaNone;
}

const char* CompressionAlgorithmName(uint8_t algorithm) {
  return algorithm < 4 ? kAlgorithmNames[algorithm] : kAlgorithmNames[0];
}

bool CompressBuffer(uint8_t algorithm, int mode, const void* in, int64_t inSize, void*& out,
                    int64_t& outSize) {
  out = nullptr;
  outSize = 0;
  if (algorithm < acaZlib || algorithm > acaPPM || in == nullptr || inSize <= 0) return false;
  bool ok = false;
  try {
    if (algorithm == acaPPM) {
      if (mode < 1 || mode > 9) return false;
      size_t coded = 0;
      size_t capacity = static_cast<size_t>(inSize + inSize / 20 + 50);
      ok = PpmdCompress(in, static_cast<size_t>(inSize), PpmdParametersForMode(mode), capacity, out, coded);
      outSize = static_cast<int64_t>(coded);
      ok = ok && outSize > 0;
    } else {
      ok = CompressWithLibrary(algorithm, mode, in, inSize, out, outSize);
    }
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    if (out != nullptr) FreeQuietly(out);
    outSize = 0;
  }
  return ok;
}

bool DecompressBuffer(uint8_t algorithm, const void* in, int64_t inSize, int64_t expectedSize, void*& out,
                      int64_t& outSize) {
  out = nullptr;
  outSize = 0;
  if (algorithm < acaZlib || algorithm > acaPPM || in == nullptr || inSize <= 0 || expectedSize <= 0 ||
      inSize > std::numeric_limits<unsigned int>::max() / 2 ||
      expectedSize > std::numeric_limits<unsigned int>::max() / 2)
    return false;
  bool ok = false;
  try {
    out = MemoryManager().GetMem(static_cast<size_t>(expectedSize));
    if (algorithm == acaZlib) {
      uLongf destLen = static_cast<uLongf>(expectedSize);
      ok = uncompress(static_cast<Bytef*>(out), &destLen, static_cast<const Bytef*>(in),
                      static_cast<uLong>(inSize)) == Z_OK;
      outSize = static_cast<int64_t>(destLen);
    } else if (algorithm == acaBZip) {
      unsigned int destLen = static_cast<unsigned int>(expectedSize);
      ok = BZ2_bzBuffToBuffDecompress(static_cast<char*>(out), &destLen,
                                      const_cast<char*>(static_cast<const char*>(in)),
                                      static_cast<unsigned int>(inSize), 0, 0) == BZ_OK;
      outSize = static_cast<int64_t>(destLen);
    } else {
      size_t produced = 0;
      ok = PpmdDecompress(in, static_cast<size_t>(inSize), out, static_cast<size_t>(expectedSize), produced);
      outSize = static_cast<int64_t>(produced);
    }
    ok = ok && outSize > 0;
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    if (out != nullptr) FreeQuietly(out);
    outSize = 0;
  }
  return ok;
}

}  // namespace viz
