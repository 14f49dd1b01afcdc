#include "actions/download_journal.h"

#include <cstdio>
#include <vector>

#include "platform/file_writer.h"
#include "platform/files.h"

namespace orvex {

namespace {

const char kMagic[] = "orvex-download-journal 1";
// A journal is a few hundred bytes; anything longer is not ours.
const std::size_t kLongestJournal = 64 * 1024;

// A line of printable characters (URLs and validators never hold line breaks).
bool IsPlainLine(const std::string& text) {
  for (char c : text)
    if (c == '\n' || c == '\r' || c == '\0') return false;
  return true;
}

// The blank-separated words of a line.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string::size_type at = line.find_first_not_of(" \t");
  while (at != std::string::npos) {
    const std::string::size_type end = line.find_first_of(" \t", at);
    words.push_back(line.substr(at, end == std::string::npos ? end : end - at));
    at = end == std::string::npos ? end : line.find_first_not_of(" \t", end);
  }
  return words;
}

// A decimal number of at most ten digits that fits 32 bits.
bool ParseDecimal(const std::string& digits, uint32_t* value) {
  if (digits.empty() || digits.size() > 10) return false;
  uint64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

// "key value": the value is the rest of the line after one space.
bool ParseKeyLine(const std::string& line, const std::string& key, std::string* value) {
  if (line.compare(0, key.size() + 1, key + " ") != 0) return false;
  *value = line.substr(key.size() + 1);
  return true;
}

// The lines of a text that ends with a line break, without their breaks.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type at = 0;
  for (std::string::size_type end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

}  // namespace

std::string FormatJournal(const DownloadJournal& journal) {
  std::string text = std::string(kMagic) + "\nurl " + journal.url + "\nsize " +
                     std::to_string(journal.size) + "\nvalidator " + journal.validator + "\nranges";
  for (const auto& range : journal.ranges)
    text += " " + std::to_string(range.first) + "+" + std::to_string(range.second);
  return text + "\nend\n";
}

bool ParseJournal(const std::string& text, DownloadJournal* journal) {
  static const std::string kEnd = "\nend\n";
  if (text.size() < kEnd.size() || text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
    return false;
  // Streams are not used here: they would bring the C++ locale machinery into the program.
  const std::vector<std::string> lines = Lines(text);
  if (lines.size() != 6 || lines[0] != kMagic || lines[5] != "end") return false;
  DownloadJournal read;
  std::string size;
  if (!ParseKeyLine(lines[1], "url", &read.url) || !ParseKeyLine(lines[2], "size", &size) ||
      !ParseKeyLine(lines[3], "validator", &read.validator))
    return false;
  const std::vector<std::string> sizeWords = Words(size);
  if (sizeWords.size() != 1 || !ParseDecimal(sizeWords[0], &read.size)) return false;
  if (lines[4].compare(0, 6, "ranges") != 0) return false;
  for (const std::string& item : Words(lines[4].substr(6))) {
    const std::string::size_type plus = item.find('+');
    if (plus == std::string::npos) return false;
    uint32_t at = 0, count = 0;
    if (!ParseDecimal(item.substr(0, plus), &at) || !ParseDecimal(item.substr(plus + 1), &count))
      return false;
    if (uint64_t{at} + count > read.size) return false;
    read.ranges.emplace_back(at, count);
  }
  *journal = std::move(read);
  return true;
}

std::wstring JournalPathOf(const std::wstring& partPath) { return partPath + L".journal"; }

bool SaveJournal(const std::wstring& path, const DownloadJournal& journal, bool durable) {
  if (!IsPlainLine(journal.url) || !IsPlainLine(journal.validator)) return false;
  const std::string text = FormatJournal(journal);
  const std::wstring temporary = path + L".tmp";
  platform::PositionedFile file;
  uint32_t error = 0;
  // Made new, never opened over what is there: a temporary that is a hard link to another
  // file would have that file written.
  (void)platform::DeleteFileAt(temporary);
  bool saved = file.CreateNew(temporary, &error) &&
               file.WriteAt(0, text.data(), text.size(), &error) &&
               (!durable || file.Flush(&error));
  saved = file.Close(&error) && saved;
  if (saved && platform::ReplaceWithFile(temporary, path, &error)) return true;
  // A temporary left behind is overwritten by the next save.
  (void)platform::DeleteFileAt(temporary);
  return false;
}

bool LoadJournal(const std::wstring& path, DownloadJournal* journal) {
  platform::ScopedFile file = platform::OpenForReading(path, nullptr);
  if (!file) return false;
  std::string text(kLongestJournal + 1, '\0');
  const std::size_t length = std::fread(&text[0], 1, text.size(), file.get());
  file.reset();
  if (length > kLongestJournal) return false;
  text.resize(length);
  return ParseJournal(text, journal);
}

}  // namespace orvex
