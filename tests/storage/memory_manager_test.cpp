#include "engine/storage/memory_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "engine/types/errors.h"

namespace viz {
namespace {

uint32_t Load32(const void* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

// Each test uses its own manager so that counts and limits do not leak between tests.
TEST(MemoryManagerTest, BlockLayoutAroundThePointer) {
  TABSMemoryManager manager;
  auto* p = static_cast<unsigned char*>(manager.GetMem(10));
  int32_t size;
  std::memcpy(&size, p - 9, 4);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(p[-5], 0);
  EXPECT_EQ(Load32(p - 4), 0xACCACCACu);
  EXPECT_EQ(Load32(p + 10), 0xACCEACCEu);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(manager.GetMemSize(p), 10u);
  EXPECT_EQ(manager.GetMemoryInUse(), 10);
  void* block = p;
  manager.FreeAndNillMem(block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(manager.GetMemoryInUse(), 0);
}

TEST(MemoryManagerTest, ZeroSizeAndZeroedBlocks) {
  TABSMemoryManager manager;
  try {
    manager.GetMem(0);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeErrorCode(), 30286);
    EXPECT_EQ(error.Message(), "Cannot allocate 0 bytes - Native error: 30286");
  }
  auto* zeroed = static_cast<unsigned char*>(manager.GetMemZero(64));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(zeroed[i], 0);
  void* block = zeroed;
  manager.FreeAndNillMem(block);
  EXPECT_EQ(manager.GetMemSize(nullptr), 0u);
}

TEST(MemoryManagerTest, OverrunIsReportedAfterTheBlockIsReleased) {
  TABSMemoryManager manager;
  auto* p = static_cast<unsigned char*>(manager.GetMem(16));
  p[16] = 0x55;  // one byte past the end, into the trailing guard
  void* block = p;
  try {
    manager.FreeAndNillMem(block);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeErrorCode(), 30137);
    EXPECT_EQ(error.Message(), "Memory overrun detected - Native error: 30137");
  }
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(manager.GetMemoryInUse(), 0);
}

TEST(MemoryManagerTest, ForeignPointersAreRefused) {
  TABSMemoryManager manager;
  std::vector<unsigned char> foreign(64, 0);
  void* p = foreign.data() + 32;
  auto expectCode = [&](auto&& call, int code) {
    try {
      call();
      FAIL() << code;
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeErrorCode(), code);
      EXPECT_NE(error.Message().find("Invalid pointer"), std::string::npos);
    }
  };
  expectCode([&] { manager.FreeAndNillMem(p); }, 30001);
  expectCode([&] { manager.ReallocMem(p, 8); }, 30002);
  expectCode([&] { manager.GetMemSize(p); }, 30005);
  EXPECT_EQ(p, foreign.data() + 32);  // nothing was released or changed
}

TEST(MemoryManagerTest, LimitAndAvailableMemory) {
  TABSMemoryManager manager;
  manager.SetLimit(100);
  void* a = manager.GetMem(60);
  void* b = manager.GetMem(40);  // exactly at the limit
  try {
    manager.GetMem(1);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Memory limit exceeded (Limit = 100 bytes) - Native error: 30004");
  }
  EXPECT_EQ(manager.GetMemoryInUse(), 100);
  EXPECT_LE(manager.GetAvailableMemory(), 100);
  manager.FreeAndNillMem(a);
  manager.FreeAndNillMem(b);
  manager.SetLimit(0);
  EXPECT_GT(manager.GetAvailableMemory(), 100);
}

TEST(MemoryManagerTest, ReallocKeepsContentAndZeroFillsTheTail) {
  TABSMemoryManager manager;
  void* block = manager.GetMem(4);
  std::memcpy(block, "abcd", 4);
  manager.ReallocMem(block, 8, true);
  EXPECT_EQ(manager.GetMemSize(block), 8u);
  EXPECT_EQ(std::memcmp(block, "abcd\0\0\0\0", 8), 0);
  manager.ReallocMem(block, 2);
  EXPECT_EQ(std::memcmp(block, "ab", 2), 0);
  EXPECT_EQ(manager.GetMemoryInUse(), 2);
  manager.FreeAndNillMem(block);
}

TEST(MemoryManagerTest, FailedResizeIsAReallocErrorWithItsCause) {
  TABSMemoryManager manager;
  auto messageOf = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const EABSException& error) {
      return error.Message();
    }
    return "";
  };
  manager.SetLimit(100);
  void* block = manager.GetMem(60);
  std::memcpy(block, "keep", 4);
  // The new block would take the bytes in use past the limit; the old block stays as it was.
  EXPECT_EQ(messageOf([&] { manager.ReallocMem(block, 50); }),
            "ReallocMem error: Memory limit exceeded (Limit = 100 bytes) - Native error: 30014");
  EXPECT_EQ(manager.GetMemSize(block), 60u);
  EXPECT_EQ(std::memcmp(block, "keep", 4), 0);
  EXPECT_EQ(messageOf([&] { manager.ReallocMem(block, 0); }),
            "ReallocMem error: Cannot allocate 0 bytes - Native error: 30014");
  void* none = nullptr;
  EXPECT_EQ(messageOf([&] { manager.ReallocMem(none, 200); }),
            "ReallocMem error: Memory limit exceeded (Limit = 100 bytes) - Native error: 30014");
  manager.SetLimit(0);
  // An overrun of the old block is found when it is released: the resize itself is done.
  static_cast<unsigned char*>(block)[60] = 0;
  EXPECT_EQ(messageOf([&] { manager.ReallocMem(block, 8); }),
            "ReallocMem error: Memory overrun detected - Native error: 30014");
  EXPECT_EQ(manager.GetMemSize(block), 8u);
  EXPECT_EQ(std::memcmp(block, "keep", 4), 0);
  manager.FreeAndNillMem(block);
  EXPECT_EQ(manager.GetMemoryInUse(), 0);
}

TEST(MemoryManagerTest, CountingIsThreadSafe) {
  TABSMemoryManager manager;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        void* block = manager.GetMem(1 + i % 100);
        manager.FreeAndNillMem(block);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(manager.GetMemoryInUse(), 0);
}

}  // namespace
}  // namespace viz
