// SHA-256 on the host with OpenSSL's libcrypto (the EVP digest interface).
#include "platform/sha256.h"

#include <openssl/evp.h>

#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

bool Report(uint32_t* error, uint32_t value) {
  if (error) *error = value;
  return false;
}

EVP_MD_CTX* Context(void* state) { return static_cast<EVP_MD_CTX*>(state); }

}  // namespace

Sha256::~Sha256() { Release(); }

void Sha256::Release() {
  EVP_MD_CTX_free(Context(state_));
  state_ = nullptr;
}

bool Sha256::Start(uint32_t* error) {
  Release();
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (!context) return Report(error, kErrorNotEnoughMemory);
  state_ = context;
  if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    Release();
    return Report(error, kErrorGenFailure);
  }
  return true;
}

bool Sha256::Add(const void* data, std::size_t bytes, uint32_t* error) {
  if (!state_) return Report(error, kErrorInvalidHandle);
  if (EVP_DigestUpdate(Context(state_), data, bytes) != 1) return Report(error, kErrorGenFailure);
  return true;
}

bool Sha256::Finish(uint8_t (&digest)[kSha256Bytes], uint32_t* error) {
  if (!state_) return Report(error, kErrorInvalidHandle);
  unsigned int length = 0;
  const bool done =
      EVP_DigestFinal_ex(Context(state_), digest, &length) == 1 && length == kSha256Bytes;
  Release();
  return done || Report(error, kErrorGenFailure);
}

}  // namespace platform
}  // namespace orvex
