// The framework's stream: a byte sequence with a position, read and written in pieces. The engine's
// streams derive from it; datasets hand BLOB contents around as streams.
#pragma once

#include <cstdint>

namespace viz {

//! Where a seek offset counts from.
enum class TSeekOrigin : uint8_t { Beginning = 0, Current = 1, End = 2 };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  //! Reads up to `count` bytes at the position and advances it. Returns the count read; fewer at
  //! the end of the stream.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  //! Writes up to `count` bytes at the position and advances it. Returns the count written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  //! Moves the position and returns the new one.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  //! Returns the size in bytes. The default seeks to the end and back.
  virtual int64_t GetSize();
  //! Makes the stream `size` bytes long.
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }
  int64_t Size() { return GetSize(); }

  //! Copies `count` bytes from the source's position into this stream at its position; a count of 0
  //! copies the whole source from its beginning. Returns the bytes copied (fewer when the source
  //! ends early or this stream stops taking them).
  int64_t CopyFrom(TStream& source, int64_t count);
};

}  // namespace viz
