// Page ciphers: the block cipher and key hash of each cipher type, and the chaining that codes a
// buffer of any length in place.
//
//   type | block cipher        | key hash   | block | key bytes
//   0    | Rijndael (AES)      | RIPEMD-128 | 16    | 16
//   1    | Rijndael (AES)      | RIPEMD-256 | 16    | 32
//   2    | DES                 | RIPEMD-128 | 8     | 8
//   3    | triple DES, 24-byte | RIPEMD-128 | 24    | 16
//   4    | Blowfish            | RIPEMD-256 | 8     | 32
//   5    | Twofish             | RIPEMD-128 | 16    | 16
//   6    | Twofish             | RIPEMD-256 | 16    | 32
//   7    | Square              | RIPEMD-128 | 16    | 16
//
// The key is the leading bytes of the hash of the password text (no terminator). Type 3 codes a
// 24-byte block as three 8-byte lanes with two-key triple DES (EDE, the 16 key bytes), each lane
// xored with the previous lane's output before it is coded, so that the three lanes depend on each
// other. Other type values leave buffers unchanged.
//
// Chaining, block size n, feedback F starting as n bytes 0xFF: every whole block X becomes
// Y = E(X xor F) and F := Y xor F; a tail of r bytes is xored with the first r bytes of E(F).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace viz {

//! The password a database is opened or created with. Empty text = not enciphered.
struct TABSPassword {
  std::string password;
  uint8_t cipherType = 0;
};

//! The highest cipher type that codes anything.
inline constexpr uint8_t kLastCipherType = 7;

//! Enciphers `length` bytes in place. Returns false when the cipher could not be set up or failed
//! (the buffer may then be partly coded); an unknown type returns true and changes nothing.
bool EncipherBuffer(uint8_t cipherType, void* buffer, size_t length, const std::string& password);
//! Deciphers `length` bytes in place; the inverse of `EncipherBuffer`.
bool DecipherBuffer(uint8_t cipherType, void* buffer, size_t length, const std::string& password);

//! Returns the block size of a cipher type, 0 for an unknown type.
size_t CipherBlockSize(uint8_t cipherType);

}  // namespace viz
