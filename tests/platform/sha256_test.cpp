// SHA-256 of the platform (BCrypt under Wine, libcrypto on the host) against the published
// test vectors, whole and in pieces.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace orvex {
namespace {

// The digest of text given in pieces of `piece` bytes (0: in one call), as lower-case hex.
std::string DigestOf(const std::string& text, std::size_t piece) {
  platform::Sha256 hash;
  uint32_t error = 0;
  if (!hash.Start(&error)) return "start failed";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t count = piece == 0 ? text.size() : std::min(piece, text.size() - at);
    if (!hash.Add(text.data() + at, count, &error)) return "add failed";
    at += count;
  }
  uint8_t digest[platform::kSha256Bytes];
  if (!hash.Finish(digest, &error)) return "finish failed";
  return platform::Sha256Text(digest);
}

TEST(Sha256, MatchesThePublishedVectorsInAnyPieces) {
  struct Case {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{63}, std::size_t{4096}}) {
      if (piece == 1 && c.text.size() > 1000) continue;
      SCOPED_TRACE(std::to_string(c.text.size()) + " bytes in pieces of " + std::to_string(piece));
      EXPECT_EQ(DigestOf(c.text, piece), c.digest);
    }
  }
}

TEST(Sha256, TextIsLowerCaseHexInByteOrder) {
  uint8_t digest[platform::kSha256Bytes] = {};
  digest[0] = 0xAB;
  digest[1] = 0x05;
  digest[31] = 0xF0;
  EXPECT_EQ(platform::Sha256Text(digest), "ab05" + std::string(58, '0') + "f0");
}

TEST(Sha256, AddOrFinishWithoutStartFails) {
  platform::Sha256 hash;
  uint32_t error = 0;
  EXPECT_FALSE(hash.Add("x", 1, &error));
  EXPECT_NE(error, 0u);
  uint8_t digest[platform::kSha256Bytes];
  ASSERT_TRUE(hash.Start(&error));
  ASSERT_TRUE(hash.Finish(digest, &error));
  error = 0;
  EXPECT_FALSE(hash.Finish(digest, &error));  // a finished digest needs Start again
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace orvex
