// SHA-256 with BCrypt (CNG): the system's own implementation.
#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

namespace orvex {
namespace platform {
namespace {

// NTSTATUS values BCrypt returns; <ntstatus.h> clashes with <windows.h>.
constexpr NTSTATUS kStatusNoMemory = static_cast<NTSTATUS>(0xC0000017L);
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008L);

bool Succeeded(NTSTATUS status) { return status >= 0; }

// The Windows error for a failed BCrypt call.
bool ReportStatus(uint32_t* error, NTSTATUS status) {
  if (!error) return false;
  if (status == kStatusNoMemory)
    *error = ERROR_NOT_ENOUGH_MEMORY;
  else if (status == kStatusInvalidHandle)
    *error = ERROR_INVALID_HANDLE;
  else
    *error = ERROR_GEN_FAILURE;
  return false;
}

}  // namespace

Sha256::~Sha256() { Release(); }

void Sha256::Release() {
  if (state_) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(state_));
  if (algorithm_) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
  state_ = nullptr;
  algorithm_ = nullptr;
}

bool Sha256::Start(uint32_t* error) {
  Release();
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!Succeeded(status)) return ReportStatus(error, status);
  algorithm_ = algorithm;
  // With no object buffer BCrypt keeps the hash's state itself (Windows 7 and later).
  BCRYPT_HASH_HANDLE hash = nullptr;
  status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  if (!Succeeded(status)) {
    Release();
    return ReportStatus(error, status);
  }
  state_ = hash;
  return true;
}

bool Sha256::Add(const void* data, std::size_t bytes, uint32_t* error) {
  if (!state_) return ReportStatus(error, kStatusInvalidHandle);
  const UCHAR* next = static_cast<const UCHAR*>(const_cast<void*>(data));
  // BCryptHashData takes a ULONG count per call.
  while (bytes > 0) {
    const ULONG piece = bytes > 0x40000000u ? 0x40000000u : static_cast<ULONG>(bytes);
    const NTSTATUS status =
        BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(state_), const_cast<UCHAR*>(next), piece, 0);
    if (!Succeeded(status)) return ReportStatus(error, status);
    next += piece;
    bytes -= piece;
  }
  return true;
}

bool Sha256::Finish(uint8_t (&digest)[kSha256Bytes], uint32_t* error) {
  if (!state_) return ReportStatus(error, kStatusInvalidHandle);
  const NTSTATUS status =
      BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(state_), digest, kSha256Bytes, 0);
  Release();
  return Succeeded(status) || ReportStatus(error, status);
}

}  // namespace platform
}  // namespace orvex
