// The scrambling of password-protected Paradox tables. The key in the
// header is the password's checksum; data blocks of the .DB and the whole
// .MB are scrambled in 256-byte chunks with it. Reading needs no password,
// but like the original engine we only open a protected table for a user
// who gives one whose checksum matches the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kosmara {

inline constexpr std::size_t kCryptChunkSize = 256;

// The checksum of a password given as the table's bytes (0 for none).
std::uint32_t PasswordChecksum(std::string_view password);

// A data block of the .DB (size a multiple of 256), numbered from 1.
void DecryptTableBlock(std::uint8_t* block, std::size_t size, std::uint32_t key, std::uint32_t blockNumber);
void EncryptTableBlock(std::uint8_t* block, std::size_t size, std::uint32_t key, std::uint32_t blockNumber);

// Whole 256-byte chunks of the .MB, at file offsets that are multiples of 256.
void DecryptBlobChunks(std::uint8_t* data, std::size_t size, std::uint32_t key);
void EncryptBlobChunks(std::uint8_t* data, std::size_t size, std::uint32_t key);

}  // namespace kosmara
