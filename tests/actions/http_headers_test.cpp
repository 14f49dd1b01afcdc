// The header and status reading of the download, on the text a server could send: what is
// believed, and that anything malformed, overflowing or hostile reads as absent or refused.
#include "actions/http_headers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace orvex {
namespace {

TEST(HttpHeadersContentRange, ReadsOnlyACompleteRange) {
  struct Case {
    const char* value;
    bool present;
    uint64_t first, last;
    int64_t total;
  };
  const Case cases[] = {
      {"bytes 0-9/10", true, 0, 9, 10},
      {" bytes 0-9/10\r\n", true, 0, 9, 10},
      {"\tBYTES 10-19/*", true, 10, 19, -1},
      {"Bytes   5-5/6 \t", true, 5, 5, 6},
      {"bytes 0-4294967295/4294967296", true, 0, 4294967295u, 4294967296},  // past 4 GiB
      {"bytes 0-9/999999999999999999", true, 0, 9, 999999999999999999},     // 18 digits
      {"bytes 0-9/1000000000000000000", false, 0, 0, -1},                   // 19 digits: never read
      {"bytes 0-99999999999999999999/10", false, 0, 0, -1},
      {"bytes */10", false, 0, 0, -1},
      {"bytes -1-9/10", false, 0, 0, -1},
      {"bytes 0--9/10", false, 0, 0, -1},
      {"bytes 9-0/10", false, 0, 0, -1},  // last before first
      {"bytes 0-9/-10", false, 0, 0, -1},
      {"bytes 0-9", false, 0, 0, -1},
      {"bytes 0-9/", false, 0, 0, -1},
      {"bytes 0 -9/10", false, 0, 0, -1},
      {"bytes 0- 9/10", false, 0, 0, -1},
      {"bytes 0-9 /10", false, 0, 0, -1},
      {"bytes 0-9/10 junk", false, 0, 0, -1},
      {"bytes 0-9/10/10", false, 0, 0, -1},
      {"bytes 0-9/10*", false, 0, 0, -1},
      {"bytes 0x0-0x9/10", false, 0, 0, -1},
      {"bytes +0-9/10", false, 0, 0, -1},
      {"bytes=0-9/10", false, 0, 0, -1},
      {"byte 0-9/10", false, 0, 0, -1},
      {"items 0-9/10", false, 0, 0, -1},
      {"0-9/10", false, 0, 0, -1},
      {"bytes ", false, 0, 0, -1},
      {"", false, 0, 0, -1},
      {"   ", false, 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const ContentRange range = ParseContentRange(c.value);
    EXPECT_EQ(range.present, c.present);
    if (!c.present) continue;
    EXPECT_EQ(range.first, c.first);
    EXPECT_EQ(range.last, c.last);
    EXPECT_EQ(range.total, c.total);
  }
  // A zero byte inside the value is junk as well.
  EXPECT_FALSE(ParseContentRange(std::string("bytes 0-9/10\0", 13)).present);
}

TEST(HttpHeadersLines, NameInAnyCaseAndValueWithoutBlanks) {
  struct Case {
    const char* line;
    const char* name;  // lower case, with the colon
    bool matches;
    const char* value;
  };
  const Case cases[] = {
      {"ETag: \"5f-3e8\"\r\n", "etag:", true, "\"5f-3e8\""},
      {"etag:\t\"a b\" \t\r\n", "etag:", true, "\"a b\""},
      {"ETAG:W/\"x\"\n", "etag:", true, "W/\"x\""},
      {"Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n", "last-modified:", true,
       "Tue, 01 Dec 2026 10:00:00 GMT"},
      {"LAST-MODIFIED:   1\r\n", "last-modified:", true, "1"},
      // Blanks alone: no value, and never the line ending.
      {"LAST-MODIFIED:   \r\n", "last-modified:", true, ""},
      {"ETag:\r\n", "etag:", true, ""},
      {"Content-Range: bytes 0-9/10\r\n", "content-range:", true, "bytes 0-9/10"},
      {"HTTP/1.1 206 Partial Content\r\n", "http/", true, "1.1 206 Partial Content"},
      {"ETag-Extra: 1\r\n", "etag:", false, ""},
      {"X-ETag: 1\r\n", "etag:", false, ""},
      {" ETag: 1\r\n", "etag:", false, ""},
      {"ETa", "etag:", false, ""},
      {"", "etag:", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const size_t length = std::strlen(c.line);
    EXPECT_EQ(HeaderLineStartsWith(c.line, length, c.name), c.matches);
    if (c.matches) {
      EXPECT_EQ(HeaderLineValue(c.line, length, std::strlen(c.name)), c.value);
    }
  }
  // The comparison never reads past the length it is given.
  EXPECT_FALSE(HeaderLineStartsWith("etag:", 4, "etag:"));
}

TEST(HttpHeadersValidator, StrongEtagElseLastModified) {
  const char* const kDate = "Tue, 01 Dec 2026 10:00:00 GMT";
  EXPECT_EQ(ChooseValidator("\"5f-3e8\"", kDate), "\"5f-3e8\"");
  EXPECT_EQ(ChooseValidator("W/\"5f-3e8\"", kDate), kDate);  // weak: not the same bytes
  EXPECT_EQ(ChooseValidator("W/\"5f-3e8\"", ""), "");
  EXPECT_EQ(ChooseValidator("", kDate), kDate);
  EXPECT_EQ(ChooseValidator("", ""), "");
  EXPECT_EQ(ChooseValidator("w/\"lower\"", ""), "w/\"lower\"");  // only "W/" marks weakness
}

TEST(HttpHeadersFileSize, AcceptsOneByteToTheLargestSignedInt) {
  struct Case {
    int64_t length;
    bool accepted;
  };
  const Case cases[] = {
      {1, true},           {10, true},          {INT32_MAX, true},
      {-1, false},  // not announced
      {0, false},          {INT64_MIN, false},  {int64_t{INT32_MAX} + 1, false},
      {4294967295, false}, {4294967296, false}, {5000000000, false},
      {INT64_MAX, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    uint32_t size = 7;
    EXPECT_EQ(FileSizeFromLength(c.length, &size), c.accepted);
    EXPECT_EQ(size, c.accepted ? static_cast<uint32_t>(c.length) : 7u);
  }
}

TEST(HttpHeadersRangeAnswer, FitsOnlyTheBytesAskedFor) {
  auto range = [](const char* value) { return ParseContentRange(value); };
  const ContentRange none;
  using A = RangeAnswer;
  struct Case {
    const char* what;
    long status;
    ContentRange range;
    uint64_t first, end;
    uint32_t total;
    bool resumed;
    RangeAnswer answer;
  };
  const Case cases[] = {
      {"the range asked for", 206, range("bytes 100-199/1000"), 100, 200, 1000, false, A::kFits},
      {"total unknown", 206, range("bytes 100-199/*"), 100, 200, 1000, false, A::kFits},
      {"rest of a resumed range", 206, range("bytes 150-199/1000"), 150, 200, 1000, true, A::kFits},
      {"last range to the end", 206, range("bytes 900-999/1000"), 900, 1000, 1000, false, A::kFits},
      {"other start", 206, range("bytes 101-199/1000"), 100, 200, 1000, false, A::kRefused},
      {"other end", 206, range("bytes 100-200/1000"), 100, 200, 1000, false, A::kRefused},
      {"shorter", 206, range("bytes 100-150/1000"), 100, 200, 1000, false, A::kRefused},
      {"other total", 206, range("bytes 100-199/1001"), 100, 200, 1000, false, A::kRefused},
      {"total past 4 GiB", 206, range("bytes 100-199/4294968296"), 100, 200, 1000, false,
       A::kRefused},
      {"206 without a range", 206, none, 100, 200, 1000, false, A::kRefused},
      {"206 with a malformed range", 206, range("bytes */1000"), 100, 200, 1000, false,
       A::kRefused},
      {"whole file asked", 200, none, 0, 1000, 1000, false, A::kFits},
      {"whole file for a range", 200, none, 0, 500, 1000, false, A::kRefused},
      {"whole file for a later range", 200, none, 500, 1000, 1000, false, A::kRefused},
      {"whole file for a resumed range", 200, none, 150, 200, 1000, true, A::kFileChanged},
      {"whole file for a resumed first range", 200, none, 10, 1000, 1000, true, A::kFileChanged},
      {"error page", 404, range("bytes 100-199/1000"), 100, 200, 1000, false, A::kRefused},
      {"error for a resumed range", 416, none, 150, 200, 1000, true, A::kRefused},
      {"redirect", 302, none, 0, 1000, 1000, false, A::kRefused},
      {"no status", 0, range("bytes 100-199/1000"), 100, 200, 1000, false, A::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JudgeRangeAnswer(c.status, c.range, c.first, c.end, c.total, c.resumed), c.answer);
  }
}

}  // namespace
}  // namespace orvex
