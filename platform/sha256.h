#pragma once
// SHA-256 from the system's own implementation: BCrypt on Windows, OpenSSL's libcrypto on the
// host. Failures report a Windows system error (ERROR_*), as every seam call does.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

constexpr std::size_t kSha256Bytes = 32;

// One digest computed over bytes given in any number of pieces.
class Sha256 {
 public:
  Sha256() = default;
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // BCryptOpenAlgorithmProvider(BCRYPT_SHA256_ALGORITHM) + BCryptCreateHash: a new digest;
  // one under way is dropped.
  [[nodiscard]] bool Start(uint32_t* error);
  // BCryptHashData.
  [[nodiscard]] bool Add(const void* data, std::size_t bytes, uint32_t* error);
  // BCryptFinishHash into digest; Start is needed again before the next Add.
  [[nodiscard]] bool Finish(uint8_t (&digest)[kSha256Bytes], uint32_t* error);

 private:
  void Release();
  [[maybe_unused]] void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE; unused on the host
  void* state_ = nullptr;                       // BCRYPT_HASH_HANDLE, or the host's EVP_MD_CTX
};

// A digest as 64 lower-case hexadecimal digits, the way digests are written and compared.
std::string Sha256Text(const uint8_t (&digest)[kSha256Bytes]);

}  // namespace platform
}  // namespace orvex
