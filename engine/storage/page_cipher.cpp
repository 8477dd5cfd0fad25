#include "engine/storage/page_cipher.h"

#include <crypto++/blowfish.h>
#include <crypto++/des.h>
#include <crypto++/rijndael.h>
#include <crypto++/ripemd.h>
#include <crypto++/square.h>
#include <crypto++/twofish.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace viz {
namespace {

// One keyed block function in both directions.
class BlockCode {
 public:
  virtual ~BlockCode() = default;
  virtual size_t BlockSize() const = 0;
  virtual void Encrypt(const uint8_t* in, uint8_t* out) = 0;
  virtual void Decrypt(const uint8_t* in, uint8_t* out) = 0;
};

template <class Cipher>
class LibraryBlockCode : public BlockCode {
 public:
  explicit LibraryBlockCode(const std::vector<uint8_t>& key) {
    size_t length = std::min(key.size(), static_cast<size_t>(Cipher::MAX_KEYLENGTH));
    encryption_.SetKey(key.data(), length);
    decryption_.SetKey(key.data(), length);
  }
  size_t BlockSize() const override { return Cipher::BLOCKSIZE; }
  void Encrypt(const uint8_t* in, uint8_t* out) override { encryption_.ProcessBlock(in, out); }
  void Decrypt(const uint8_t* in, uint8_t* out) override { decryption_.ProcessBlock(in, out); }

 private:
  typename Cipher::Encryption encryption_;
  typename Cipher::Decryption decryption_;
};

// Triple DES over 24-byte blocks: three 8-byte lanes, each coded with two-key EDE after being xored
// with the previous lane's coded output.
class TripleDes24BlockCode : public BlockCode {
 public:
  explicit TripleDes24BlockCode(const std::vector<uint8_t>& key) {
    size_t length = std::min(key.size(), static_cast<size_t>(CryptoPP::DES_EDE2::MAX_KEYLENGTH));
    encryption_.SetKey(key.data(), length);
    decryption_.SetKey(key.data(), length);
  }
  size_t BlockSize() const override { return 24; }
  void Encrypt(const uint8_t* in, uint8_t* out) override {
    uint8_t lane[8];
    encryption_.ProcessBlock(in, out);
    for (int index = 1; index < 3; ++index) {
      for (int at = 0; at < 8; ++at) lane[at] = in[8 * index + at] ^ out[8 * (index - 1) + at];
      encryption_.ProcessBlock(lane, out + 8 * index);
    }
  }
  void Decrypt(const uint8_t* in, uint8_t* out) override {
    for (int index = 2; index > 0; --index) {
      decryption_.ProcessBlock(in + 8 * index, out + 8 * index);
      for (int at = 0; at < 8; ++at) out[8 * index + at] ^= in[8 * (index - 1) + at];
    }
    decryption_.ProcessBlock(in, out);
  }

 private:
  CryptoPP::DES_EDE2::Encryption encryption_;
  CryptoPP::DES_EDE2::Decryption decryption_;
};

template <class Hash>
std::vector<uint8_t> HashOf(const std::string& text) {
  Hash hash;
  std::vector<uint8_t> digest(Hash::DIGESTSIZE);
  hash.CalculateDigest(digest.data(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return digest;
}

std::unique_ptr<BlockCode> MakeBlockCode(uint8_t cipherType, const std::string& password) {
  switch (cipherType) {
    case 0:
      return std::make_unique<LibraryBlockCode<CryptoPP::Rijndael>>(HashOf<CryptoPP::RIPEMD128>(password));
    case 1:
      return std::make_unique<LibraryBlockCode<CryptoPP::Rijndael>>(HashOf<CryptoPP::RIPEMD256>(password));
    case 2:
      return std::make_unique<LibraryBlockCode<CryptoPP::DES>>(HashOf<CryptoPP::RIPEMD128>(password));
    case 3:
      return std::make_unique<TripleDes24BlockCode>(HashOf<CryptoPP::RIPEMD128>(password));
    case 4:
      return std::make_unique<LibraryBlockCode<CryptoPP::Blowfish>>(HashOf<CryptoPP::RIPEMD256>(password));
    case 5:
      return std::make_unique<LibraryBlockCode<CryptoPP::Twofish>>(HashOf<CryptoPP::RIPEMD128>(password));
    case 6:
      return std::make_unique<LibraryBlockCode<CryptoPP::Twofish>>(HashOf<CryptoPP::RIPEMD256>(password));
    case 7:
      return std::make_unique<LibraryBlockCode<CryptoPP::Square>>(HashOf<CryptoPP::RIPEMD128>(password));
    default:
      return nullptr;
  }
}

// Codes the tail of r bytes (r below the block size): xored with E(F), F := F xor E(F).
void CodeTail(BlockCode& code, uint8_t* tail, size_t length, uint8_t* feedback) {
  uint8_t stream[32];
  code.Encrypt(feedback, stream);
  for (size_t at = 0; at < length; ++at) tail[at] ^= stream[at];
  for (size_t at = 0; at < code.BlockSize(); ++at) feedback[at] ^= stream[at];
}

bool Code(bool encipher, uint8_t cipherType, void* buffer, size_t length, const std::string& password) {
  try {
    std::unique_ptr<BlockCode> code = MakeBlockCode(cipherType, password);
    if (!code) return true;
    const size_t blockSize = code->BlockSize();
    uint8_t feedback[32];
    uint8_t block[32];
    std::fill(feedback, feedback + blockSize, 0xFF);
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t offset = 0;
    for (; offset + blockSize <= length; offset += blockSize) {
      uint8_t* at = bytes + offset;
      if (encipher) {
        for (size_t i = 0; i < blockSize; ++i) block[i] = at[i] ^ feedback[i];
        code->Encrypt(block, at);
        for (size_t i = 0; i < blockSize; ++i) feedback[i] ^= at[i];
      } else {
        code->Decrypt(at, block);
        for (size_t i = 0; i < blockSize; ++i) {
          uint8_t coded = at[i];
          at[i] = block[i] ^ feedback[i];
          feedback[i] ^= coded;
        }
      }
    }
    if (offset < length) CodeTail(*code, bytes + offset, length - offset, feedback);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

size_t CipherBlockSize(uint8_t cipherType) {
  static const size_t kSizes[] = {16, 16, 8, 24, 8, 16, 16, 16};
  return cipherType <= kLastCipherType ? kSizes[cipherType] : 0;
}

bool EncipherBuffer(uint8_t cipherType, void* buffer, size_t length, const std::string& password) {
  return Code(true, cipherType, buffer, length, password);
}

bool DecipherBuffer(uint8_t cipherType, void* buffer, size_t length, const std::string& password) {
  return Code(false, cipherType, buffer, length, password);
}

}  // namespace viz
