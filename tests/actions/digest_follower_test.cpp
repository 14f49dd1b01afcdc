// The hash that follows a file written in ranges (both builds): the digest of the whole file
// whatever order the ranges are written in, nothing believed once a range went back, and no
// wait for bytes that never come.
#include "actions/digest_follower.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/file_writer.h"
#include "platform/sha256.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

std::string DigestOf(const std::string& bytes) {
  platform::Sha256 hash;
  uint8_t digest[platform::kSha256Bytes];
  uint32_t error = 0;
  EXPECT_TRUE(hash.Start(&error) && hash.Add(bytes.data(), bytes.size(), &error) &&
              hash.Finish(digest, &error));
  return platform::Sha256Text(digest);
}

class DigestFollowerTest : public ::testing::Test {
 protected:
  // Four ranges of a 5 MiB file (larger than the follower's buffer, with an odd tail).
  static constexpr uint64_t kSize = 5 * 1024 * 1024 + 17;
  const std::vector<uint64_t> starts{0, kSize / 4, kSize / 2, 3 * (kSize / 4)};

  void SetUp() override {
    std::mt19937 random(7);
    content_.resize(kSize);
    for (char& c : content_) c = static_cast<char>(random());
    folder_ = test::ScratchRoot() / ("orvex-digest-follower-" + std::to_string(random()));
    fs::create_directories(folder_);
    path_ = test::PlatformPath(folder_ / "file.part");
    uint32_t error = 0;
    ASSERT_TRUE(file_.Create(path_, &error));
    ASSERT_TRUE(file_.Reserve(kSize, &error));
  }
  void TearDown() override {
    (void)file_.Close(nullptr);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  uint64_t End(std::size_t range) const {
    return range + 1 < starts.size() ? starts[range + 1] : kSize;
  }
  // Writes bytes [from, to) of a range and tells the follower.
  void Write(DigestFollower& follower, std::size_t range, uint64_t from, uint64_t to) {
    uint32_t error = 0;
    ASSERT_TRUE(file_.WriteAt(starts[range] + from, content_.data() + starts[range] + from,
                              static_cast<std::size_t>(to - from), &error));
    follower.Advance(static_cast<int>(range), to);
  }

  std::string content_;
  fs::path folder_;
  std::wstring path_;
  platform::PositionedFile file_;
};

// The ranges arrive interleaved, in 300 KiB pieces, the last range first: the digest is the
// whole file's, also when two ranges were on disk from an earlier run.
TEST_F(DigestFollowerTest, DigestsTheWholeFileWhateverTheOrderOfTheRanges) {
  for (const bool resumed : {false, true}) {
    SCOPED_TRACE(resumed ? "two ranges on disk before" : "nothing on disk before");
    std::vector<uint64_t> onDisk(starts.size(), 0);
    if (resumed) {
      for (std::size_t range : {1u, 2u}) {
        onDisk[range] = End(range) - starts[range];
        uint32_t error = 0;
        ASSERT_TRUE(file_.WriteAt(starts[range], content_.data() + starts[range],
                                  static_cast<std::size_t>(onDisk[range]), &error));
      }
    }
    DigestFollower follower(path_, kSize, starts, onDisk);
    ASSERT_TRUE(follower.Start());
    const uint64_t piece = 300 * 1024;
    std::vector<uint64_t> written = onDisk;
    for (bool more = true; more;) {
      more = false;
      for (std::size_t range = starts.size(); range-- > 0;) {
        const uint64_t length = End(range) - starts[range];
        if (written[range] == length) continue;
        const uint64_t to = std::min(length, written[range] + piece);
        Write(follower, range, written[range], to);
        written[range] = to;
        more = true;
      }
    }
    EXPECT_EQ(DigestOf(content_), follower.Finish());
  }
}

// A range written again from an earlier offset may change bytes already hashed: no digest
// is given, and neither is one for a file whose last bytes never arrived (without waiting).
TEST_F(DigestFollowerTest, GivesNoDigestWhenARangeWentBackOrBytesAreMissing) {
  {
    DigestFollower follower(path_, kSize, starts, std::vector<uint64_t>(starts.size(), 0));
    ASSERT_TRUE(follower.Start());
    for (std::size_t range = 0; range < starts.size(); ++range)
      Write(follower, range, 0, End(range) - starts[range]);
    follower.Abandon();
    EXPECT_EQ("", follower.Finish());
  }
  {
    DigestFollower follower(path_, kSize, starts, std::vector<uint64_t>(starts.size(), 0));
    ASSERT_TRUE(follower.Start());
    for (std::size_t range = 0; range < starts.size(); ++range)
      Write(follower, range, 0, End(range) - starts[range] - (range == 2 ? 1 : 0));
    EXPECT_EQ("", follower.Finish());
  }
}

}  // namespace
}  // namespace orvex
