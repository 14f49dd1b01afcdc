#pragma once
// What the download reads from an HTTP answer's status and header lines, as pure functions of
// the text libcurl hands over: no connection, no state. Header names compare without regard to
// case; values are taken from hostile servers, so anything that is not exactly of the expected
// form reads as absent.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {

// The Content-Range of a ranged answer: "bytes first-last/total", total -1 for "*".
struct ContentRange {
  bool present = false;
  uint64_t first = 0;
  uint64_t last = 0;
  int64_t total = -1;
};

// Whether the header line (length bytes, no terminating zero needed) starts with lowerPrefix,
// given in lower case ("content-range:"), in any case.
bool HeaderLineStartsWith(const char* line, size_t length, const char* lowerPrefix);

// The value of a header line whose name (colon included) is nameLength bytes long, without the
// blanks around it and the line break; "" when there is nothing else.
std::string HeaderLineValue(const char* line, size_t length, size_t nameLength);

// The value of a "Content-Range:" header line, "bytes 0-99/1005" (blanks around it allowed).
// Not present when it is anything else: "bytes */1005", numbers of more than 18 digits, a last
// byte before the first, anything after the total.
ContentRange ParseContentRange(const std::string& value);

// The validator a resumed range asks with (If-Range): the strong ETag, else the Last-Modified
// date, else "". A weak ETag ("W/...") does not promise the same bytes, and If-Range refuses it.
std::string ChooseValidator(const std::string& etag, const std::string& lastModified);

// The file size of a Content-Length (-1 when the server announced none) as the download takes
// it: at least one byte, at most what fits a signed 32-bit int. False for anything else.
bool FileSizeFromLength(int64_t length, uint32_t* size);

// What an answer to a range request means for the range.
enum class RangeAnswer {
  kFits,         // the bytes asked for: they may be written
  kRefused,      // an error page, another range, or the whole file when a part was asked for
  kFileChanged,  // the whole file for a resumed range asked with If-Range: the download starts
                 // over
};

// Judges an answer (its status and Content-Range) to the request for the bytes from first to
// one before end of a file of total bytes; resumed: bytes of the range were on disk already
// and the request carried If-Range. A 206 must name exactly those bytes (and the total when it
// names one); a 200 fits only a request for the whole file.
RangeAnswer JudgeRangeAnswer(long status, const ContentRange& range, uint64_t first, uint64_t end,
                             uint32_t total, bool resumed);

}  // namespace orvex
