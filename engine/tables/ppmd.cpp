#include "engine/tables/ppmd.h"

#include <mutex>

#include "engine/storage/memory_manager.h"
#include "engine/tables/ppmd_model.h"

namespace viz {
namespace {

using ppmd::Model;
using ppmd::RangeDecoder;
using ppmd::RangeEncoder;

// Bits 12-15 of the header: the variant letter counted from 'A'.
constexpr uint32_t kVariantTag = 'G' - 'A';

// The one model of the process, its memory kept between calls; calls take turns on it.
std::mutex& ModelMutex() {
  static std::mutex mutex;
  return mutex;
}
Model& SharedModel() {
  static Model model;
  return model;
}

constexpr uint32_t kMaxMemoryMiB = 256;

}  // namespace

PpmdParameters PpmdParametersForMode(int mode) {
  static constexpr PpmdParameters kByMode[9] = {{2, 2},  {3, 3},   {4, 7},    {5, 16},  {7, 22},
                                                {8, 25}, {10, 40}, {13, 100}, {16, 100}};
  if (mode < 1) mode = 1;
  if (mode > 9) mode = 9;
  return kByMode[mode - 1];
}

bool PpmdCompress(const void* input, size_t size, PpmdParameters parameters, size_t initialCapacity,
                  void*& output, size_t& outputSize) {
  output = nullptr;
  outputSize = 0;
  if (size == 0 || parameters.order < 2 || parameters.order > 16 || parameters.memoryMiB < 1 ||
      parameters.memoryMiB > kMaxMemoryMiB)
    return false;
  std::lock_guard<std::mutex> guard(ModelMutex());
  Model& model = SharedModel();
  if (!model.Reserve(parameters.memoryMiB << 20)) return false;
  model.Init(parameters.order);

  if (initialCapacity < 8) initialCapacity = 8;
  void* block = nullptr;
  try {
    block = MemoryManager().GetMem(initialCapacity);
  } catch (...) {
    return false;
  }
  uint32_t header = (kVariantTag << 12) + ((parameters.memoryMiB - 1) << 4) + (parameters.order - 1);
  uint8_t* bytes = static_cast<uint8_t*>(block);
  for (int i = 0; i < 4; i++) bytes[i] = static_cast<uint8_t>(header >> (8 * i));
  RangeEncoder rc(bytes, initialCapacity, 4);
  const uint8_t* in = static_cast<const uint8_t*>(input);
  bool ok = true;
  for (size_t i = 0; i < size && ok; i++) ok = model.EncodeSymbol(rc, in[i]);
  if (ok) ok = model.EncodeSymbol(rc, -1);
  if (ok) ok = rc.Flush();
  block = rc.buffer();
  if (!ok) {
    MemoryManager().FreeAndNillMem(block);
    return false;
  }
  output = block;
  outputSize = rc.position();
  return true;
}

bool PpmdDecompress(const void* input, size_t size, void* output, size_t expectedSize, size_t& outputSize) {
  outputSize = 0;
  if (size < 4) return false;
  const uint8_t* in = static_cast<const uint8_t*>(input);
  uint32_t header = in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
  if ((header >> 12) != kVariantTag) return false;
  unsigned order = (header & 0xF) + 1;
  unsigned memoryMiB = ((header >> 4) & 0xFF) + 1;
  if (order < 2) return false;

  std::lock_guard<std::mutex> guard(ModelMutex());
  Model& model = SharedModel();
  if (!model.Reserve(memoryMiB << 20)) return false;
  model.Init(order);
  RangeDecoder rc(in + 4, size - 4);
  uint8_t* out = static_cast<uint8_t*>(output);
  size_t produced = 0;
  for (;;) {
    int symbol = model.DecodeSymbol(rc);
    if (symbol == -1) break;
    if (symbol < 0 || produced == expectedSize || rc.Overrun()) return false;
    out[produced++] = static_cast<uint8_t>(symbol);
  }
  // The end mark must come right after the expected bytes and be followed by exactly the coder's
  // flush: an early end mark, bytes left over or missing, or another flush mean the data is not
  // what the coder wrote.
  if (produced != expectedSize || !rc.AtEnd() || !rc.FlushMatches()) return false;
  outputSize = produced;
  return true;
}

}  // namespace viz
