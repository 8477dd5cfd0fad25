// The PPMd variant G coder: prediction by partial matching with information inheritance, secondary
// escape estimation and a carry-less range coder, over a fixed model memory that is restarted when
// it runs out.
//
// Coded buffer:
//
//   offset | width | content
//   0      | u32   | 0x6000 + ((model memory in MiB - 1) << 4) + (model order - 1), little-endian
//   4      | ...   | range-coded symbols, ended by an escape out of the order -1 context
//
// The model works in 12-byte units with 32-bit offsets into its memory, whatever the pointer size of
// the build, so a buffer coded by one build decodes in any other. When the memory runs out, the
// model restarts from scratch and coding goes on.
//
// The model memory is process-wide and kept between calls; it is allocated anew only when a call
// needs another size. Calls are serialised by a process-wide lock, so they are safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace viz {

struct PpmdParameters {
  unsigned order;      //!< model order, 2..16
  unsigned memoryMiB;  //!< model memory in MiB, 1..256
};

//! Returns the model order and memory of a compression mode (1..9; other modes are clamped).
PpmdParameters PpmdParametersForMode(int mode);

//! Codes `size` bytes (size > 0) with the given parameters. `output` receives a block of the engine
//! memory manager (the caller frees it) that starts with `initialCapacity` bytes and grows while the
//! coded data needs more; `outputSize` receives the coded size. Returns false (and no block) when
//! memory cannot be had or the coder cannot represent an interval.
bool PpmdCompress(const void* input, size_t size, PpmdParameters parameters, size_t initialCapacity,
                  void*& output, size_t& outputSize);

//! Decodes a coded buffer of `expectedSize` bytes into `output` (room for `expectedSize` bytes);
//! `outputSize` receives the decoded size. Returns false for a malformed header, data that the
//! range decoder rejects, an end mark before or after `expectedSize` bytes, and a buffer that does
//! not end exactly where its end mark does (bytes missing or left over). Never reads outside
//! `input` nor writes outside `output`.
bool PpmdDecompress(const void* input, size_t size, void* output, size_t expectedSize, size_t& outputSize);

}  // namespace viz
