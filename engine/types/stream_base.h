// The smallest stream the value types need: byte reads and writes at a position, and their exact
// forms that raise the engine's stream errors. The engine's streams (memory, file, temporary and
// compressed) implement the four primitives; everything here that saves or loads a value only sees
// this interface.
#pragma once

#include <cstdint>

namespace viz {

class TABSStreamBase {
 public:
  virtual ~TABSStreamBase() = default;

  //! Reads up to `count` bytes at the position and advances it; returns the bytes read.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  //! Writes up to `count` bytes at the position and advances it; returns the bytes written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t GetPosition() const = 0;
  virtual int64_t GetSize() const = 0;

  //! Reads exactly `count` bytes. Raises "Cannot read from stream. Position = %d, Stream size = %d,
  //! Block size = %d, Bytes Read = %d" with `nativeCode` when fewer come.
  void ReadBuffer(void* buffer, int32_t count, int32_t nativeCode);
  //! Writes exactly `count` bytes. Raises "Cannot write to stream. Position = %d, Stream size = %d,
  //! Block size = %d, Bytes Write = %d" with `nativeCode` when fewer go.
  void WriteBuffer(const void* buffer, int32_t count, int32_t nativeCode);
};

}  // namespace viz
