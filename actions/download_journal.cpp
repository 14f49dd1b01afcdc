#include "actions/download_journal.h"

#include <cstdio>
#include <sstream>

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

bool ReadDecimal(std::istream& in, uint32_t* value) {
  std::string digits;
  if (!(in >> digits) || digits.empty() || digits.size() > 10) return false;
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
bool ReadKeyLine(std::istream& in, const std::string& key, std::string* value) {
  std::string line;
  if (!std::getline(in, line) || line.compare(0, key.size() + 1, key + " ") != 0) return false;
  *value = line.substr(key.size() + 1);
  return true;
}

}  // namespace

std::string FormatJournal(const DownloadJournal& journal) {
  std::string text = std::string(kMagic) + "\nurl " + journal.url + "\nsize " +
                     std::to_string(journal.size) + "\nvalidator " + journal.validator +
                     "\nranges";
  for (const auto& range : journal.ranges)
    text += " " + std::to_string(range.first) + "+" + std::to_string(range.second);
  return text + "\nend\n";
}

bool ParseJournal(const std::string& text, DownloadJournal* journal) {
  static const std::string kEnd = "\nend\n";
  if (text.size() < kEnd.size() || text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
    return false;
  std::istringstream in(text);
  std::string line, size, ranges;
  DownloadJournal read;
  if (!std::getline(in, line) || line != kMagic) return false;
  if (!ReadKeyLine(in, "url", &read.url) || !ReadKeyLine(in, "size", &size) ||
      !ReadKeyLine(in, "validator", &read.validator) || !std::getline(in, ranges))
    return false;
  if (!std::getline(in, line) || line != "end" || in.peek() != EOF) return false;
  std::istringstream sizeIn(size);
  if (!ReadDecimal(sizeIn, &read.size) || !(sizeIn >> std::ws).eof()) return false;
  if (ranges.compare(0, 6, "ranges") != 0) return false;
  std::istringstream rangesIn(ranges.substr(6));
  std::string item;
  while (rangesIn >> item) {
    const std::string::size_type plus = item.find('+');
    if (plus == std::string::npos) return false;
    std::istringstream first(item.substr(0, plus)), length(item.substr(plus + 1));
    uint32_t at = 0, count = 0;
    if (!ReadDecimal(first, &at) || !ReadDecimal(length, &count)) return false;
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
  bool saved = file.Create(temporary, &error) &&
               file.WriteAt(0, text.data(), text.size(), &error) && (!durable || file.Flush(&error));
  saved = file.Close(&error) && saved;
  if (saved && platform::ReplaceWithFile(temporary, path, &error)) return true;
  // A temporary left behind is overwritten by the next save.
  (void)platform::DeleteFileAt(temporary);
  return false;
}

bool LoadJournal(const std::wstring& path, DownloadJournal* journal) {
  std::FILE* file = platform::OpenForReading(path);
  if (!file) return false;
  std::string text(kLongestJournal + 1, '\0');
  const std::size_t length = std::fread(&text[0], 1, text.size(), file);
  std::fclose(file);
  if (length > kLongestJournal) return false;
  text.resize(length);
  return ParseJournal(text, journal);
}

}  // namespace orvex
