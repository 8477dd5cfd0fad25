#include "engine/storage/page_cipher.h"

#include <crypto++/rijndael.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/storage/free_space_manager.h"
#include "engine/types/crc32.h"
#include "engine/types/errors.h"
#include "storage/storage_test_util.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using testing::TempDir;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t at = 0; at < size; ++at) bytes[at] = static_cast<uint8_t>(at * 31 + 7);
  return bytes;
}

TEST(PageCipherTest, EveryTypeRoundTripsADataAreaWithATail) {
  const std::vector<uint8_t> plain = Pattern(4056);
  for (uint8_t type = 0; type <= kLastCipherType; ++type) {
    std::vector<uint8_t> buffer = plain;
    ASSERT_TRUE(EncipherBuffer(type, buffer.data(), buffer.size(), "pass word"));
    EXPECT_NE(buffer, plain) << int(type);
    // The tail (4056 mod block size) is coded too.
    size_t tail = plain.size() % CipherBlockSize(type);
    if (tail) {
      EXPECT_FALSE(std::equal(buffer.end() - tail, buffer.end(), plain.end() - tail)) << int(type);
    }
    ASSERT_TRUE(DecipherBuffer(type, buffer.data(), buffer.size(), "pass word"));
    EXPECT_EQ(buffer, plain) << int(type);
    // Another password does not give the plain text back.
    std::vector<uint8_t> other = plain;
    EncipherBuffer(type, other.data(), other.size(), "pass word");
    DecipherBuffer(type, other.data(), other.size(), "pass wore");
    EXPECT_NE(other, plain) << int(type);
  }
  EXPECT_EQ(CipherBlockSize(3), 24u);
  EXPECT_EQ(4056 % CipherBlockSize(3), 0u);
  EXPECT_EQ(4056 % CipherBlockSize(2), 0u);
}

TEST(PageCipherTest, ChainingMakesEqualBlocksDifferAndStartsFromTheSameVector) {
  std::vector<uint8_t> zeros(64, 0);
  std::vector<uint8_t> first = zeros;
  EncipherBuffer(0, first.data(), first.size(), "k");
  EXPECT_FALSE(std::equal(first.begin(), first.begin() + 16, first.begin() + 16));
  // Each call starts afresh: the same buffer codes the same way twice.
  std::vector<uint8_t> second = zeros;
  EncipherBuffer(0, second.data(), second.size(), "k");
  EXPECT_EQ(first, second);
  // The key hash decides the key: types 0 and 1 (RIPEMD-128 vs RIPEMD-256) differ.
  std::vector<uint8_t> wide = zeros;
  EncipherBuffer(1, wide.data(), wide.size(), "k");
  EXPECT_NE(first, wide);
}

// Type 0 by hand: key = RIPEMD-128("abc") (the published test vector), AES with the 0xFF starting
// vector, F := Y xor F after each block, and the tail xored with E(F).
TEST(PageCipherTest, Type0MatchesTheChainingComputedByHand) {
  const uint8_t key[16] = {0xc1, 0x4a, 0x12, 0x19, 0x9c, 0x66, 0xe4, 0xba,
                           0x84, 0x63, 0x6b, 0x0f, 0x69, 0x14, 0x4c, 0x77};
  CryptoPP::Rijndael::Encryption aes(key, 16);
  std::vector<uint8_t> plain = Pattern(37);
  uint8_t feedback[16];
  std::fill(feedback, feedback + 16, 0xFF);
  std::vector<uint8_t> expected = plain;
  for (int block = 0; block < 2; ++block) {
    uint8_t in[16];
    for (int i = 0; i < 16; ++i) in[i] = plain[16 * block + i] ^ feedback[i];
    aes.ProcessBlock(in, expected.data() + 16 * block);
    for (int i = 0; i < 16; ++i) feedback[i] ^= expected[16 * block + i];
  }
  uint8_t stream[16];
  aes.ProcessBlock(feedback, stream);
  for (int i = 0; i < 5; ++i) expected[32 + i] = plain[32 + i] ^ stream[i];

  std::vector<uint8_t> buffer = plain;
  EncipherBuffer(0, buffer.data(), buffer.size(), "abc");
  EXPECT_EQ(buffer, expected);
}

TEST(PageCipherTest, UnknownTypeLeavesTheBufferAlone) {
  std::vector<uint8_t> plain = Pattern(100);
  std::vector<uint8_t> buffer = plain;
  EXPECT_TRUE(EncipherBuffer(8, buffer.data(), buffer.size(), "x"));
  EXPECT_TRUE(DecipherBuffer(200, buffer.data(), buffer.size(), "x"));
  EXPECT_EQ(buffer, plain);
}

TEST(PageCipherTest, ShortBuffersAreCodedAsATailOnly) {
  std::vector<uint8_t> plain = Pattern(5);
  std::vector<uint8_t> buffer = plain;
  EncipherBuffer(5, buffer.data(), buffer.size(), "short");
  EXPECT_NE(buffer, plain);
  DecipherBuffer(5, buffer.data(), buffer.size(), "short");
  EXPECT_EQ(buffer, plain);
}

class EncryptedDatabaseTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("enc.db");

  void Create(const TABSPassword& password) { testing::CreateDatabase(path_, password); }
  void Open(TABSDiskPageManager& manager, const TABSPassword& password) {
    bool multiUser = true, repair = false, readOnly = false;
    manager.OpenDatabaseFile(path_, password, multiUser, false, repair, readOnly);
  }
  // Writes page 2 with `plain` as its data area through the write hook.
  void WritePage(TABSDiskPageManager& manager, const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> page(manager.PageSize());
    InitPageHeader(page.data(), ptTableRecord, 100);
    std::copy(plain.begin(), plain.end(), page.begin() + kPageHeaderSize);
    manager.WritePageBuffer(2, page.data());
    // The caller's copy is plain again after the write.
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), page.begin() + kPageHeaderSize));
    EXPECT_EQ(GetI32(page.data() + 4), 101);
  }
};

TEST_F(EncryptedDatabaseTest, EveryTypeOpensWithThePasswordWhateverTypeTheOpenerPasses) {
  const std::vector<uint8_t> plain = Pattern(4056);
  for (uint8_t type = 0; type <= kLastCipherType; ++type) {
    Create({"Secret!", type});
    {
      TABSDiskPageManager manager;
      Open(manager, {"Secret!", 0});
      EXPECT_EQ(manager.Password().cipherType, type);
      ASSERT_EQ(manager.AllocatePageNumber(), 2);
      WritePage(manager, plain);
    }
    // On disk: CRC of the plain data at 14, the type at 20, the data area enciphered.
    std::vector<uint8_t> onDisk = testing::ReadBytesAt(path_, 380 + 2 * 4096, 4096);
    EXPECT_EQ(GetU32(onDisk.data() + 14), ComputeCRC32(plain.data(), plain.size()));
    EXPECT_EQ(onDisk[20], type);
    EXPECT_FALSE(std::equal(plain.begin(), plain.end(), onDisk.begin() + 40));

    TABSDiskPageManager manager;
    Open(manager, {"Secret!", static_cast<uint8_t>((type + 3) % 8)});
    std::vector<uint8_t> page(4096);
    ASSERT_TRUE(manager.ReadPageBuffer(2, page.data()));
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), page.begin() + 40)) << int(type);
  }
}

TEST_F(EncryptedDatabaseTest, WrongPasswordIsRefusedAndLeavesTheFileAlone) {
  Create({"right", 1});
  {
    TABSDiskPageManager manager;
    Open(manager, {"right", 0});
    manager.AllocatePageNumber();
    WritePage(manager, Pattern(4056));
  }
  std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  for (const char* wrong : {"wrong", "", "Right"}) {
    TABSDiskPageManager manager;
    try {
      Open(manager, {wrong, 1});
      ADD_FAILURE() << "opened with " << wrong;
    } catch (const EABSException& error) {
      EXPECT_EQ(error.Message(), "Cannot open database because incorrect password - Native error: 30445");
    }
  }
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
}

TEST_F(EncryptedDatabaseTest, FlippedByteOnDiskFailsTheCrcCheck) {
  Create({"pw", 0});
  TABSDiskPageManager manager;
  Open(manager, {"pw", 0});
  manager.AllocatePageNumber();
  WritePage(manager, Pattern(4056));
  std::vector<uint8_t> byte = testing::ReadBytesAt(path_, 380 + 2 * 4096 + 1000, 1);
  byte[0] ^= 0x10;
  testing::WriteBytesAt(path_, 380 + 2 * 4096 + 1000, byte);
  std::vector<uint8_t> page(4096);
  try {
    manager.ReadPageBuffer(2, page.data());
    ADD_FAILURE() << "damaged page was accepted";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Decrypt page error. Check CRC failed. PageNo: 2 - Native error: 30446");
  }
}

TEST_F(EncryptedDatabaseTest, MapPagesAndUncipheredPagesStayPlain) {
  Create({"pw", 6});
  TABSDiskPageManager manager;
  Open(manager, {"pw", 6});
  manager.AllocatePageNumber();
  manager.AllocatePageNumber();
  // PFS page 0 is readable without the password: its first byte marks pages 0 to 3.
  std::vector<uint8_t> pfs = testing::ReadBytesAt(path_, 380, 4096);
  EXPECT_EQ(std::string(pfs.begin(), pfs.begin() + 4), "ABSP");
  EXPECT_EQ(GetU16(pfs.data() + 8), ptPFS);
  EXPECT_EQ(pfs[40], 0x0F);
  // A page written without ciphering (a direct-access file) is plain on disk and reads back plain.
  std::vector<uint8_t> page(4096);
  InitPageHeader(page.data(), ptActiveSessionList, 5);
  page[40] = 'S';
  manager.WritePageBuffer(3, page.data(), false);
  std::vector<uint8_t> onDisk = testing::ReadBytesAt(path_, 380 + 3 * 4096, 4096);
  EXPECT_EQ(onDisk[40], 'S');
  EXPECT_EQ(GetU32(onDisk.data() + 14), 0u);
  std::vector<uint8_t> back(4096);
  ASSERT_TRUE(manager.ReadPageBuffer(3, back.data(), false));
  EXPECT_EQ(back[40], 'S');
}

TEST_F(EncryptedDatabaseTest, EmptyPasswordMakesAPlainDatabase) {
  Create({"", 4});
  TABSDiskPageManager manager;
  Open(manager, {"ignored", 2});
  EXPECT_FALSE(manager.IsEncrypted());
  manager.AllocatePageNumber();
  WritePage(manager, Pattern(4056));
  std::vector<uint8_t> onDisk = testing::ReadBytesAt(path_, 380 + 2 * 4096, 4096);
  EXPECT_EQ(GetU32(onDisk.data() + 14), 0u);
  EXPECT_EQ(onDisk[20], 0);
  std::vector<uint8_t> plain = Pattern(4056);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), onDisk.begin() + 40));
}

TEST_F(EncryptedDatabaseTest, UnreadablePageIsMarkedNotRaised) {
  Create({"pw", 0});
  TABSDiskPageManager manager;
  Open(manager, {"pw", 0});
  std::vector<uint8_t> page(4096, 1);
  EXPECT_FALSE(manager.ReadPageBuffer(40, page.data()));
  EXPECT_EQ(GetI32(page.data() + 4), 2147483647);
}

}  // namespace
}  // namespace viz
