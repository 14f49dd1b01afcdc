// The download journal: what parses, what does not (a cut or foreign file), and that the
// saved journal replaces the old one whole.
#include "actions/download_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

DownloadJournal Sample() {
  DownloadJournal journal;
  journal.url = "http://127.0.0.1:8080/media/a b.cab?x=1";
  journal.size = 1000;
  journal.validator = "\"5f-3e8\"";
  journal.ranges = {{0, 100}, {100, 40}, {900, 100}};
  return journal;
}

TEST(DownloadJournalText, ReadsBackWhatItWrote) {
  DownloadJournal read;
  ASSERT_TRUE(ParseJournal(FormatJournal(Sample()), &read));
  EXPECT_EQ(read.url, Sample().url);
  EXPECT_EQ(read.size, 1000u);
  EXPECT_EQ(read.validator, Sample().validator);
  EXPECT_EQ(read.ranges, Sample().ranges);
}

TEST(DownloadJournalText, RefusesEverythingButAWholeJournal) {
  const std::string whole = FormatJournal(Sample());
  DownloadJournal other = Sample();
  other.ranges.push_back({990, 11});  // runs past the end
  const std::string cases[] = {
      "",
      "garbage\n",
      whole.substr(0, whole.size() - 1),  // cut before the last line break
      whole.substr(0, whole.size() - 5),  // cut before "end"
      whole.substr(0, whole.size() / 2),  // cut in the middle
      whole + "x",                        // something after the end
      "orvex-download-journal 2" + whole.substr(whole.find('\n')),
      FormatJournal(other),
      [&] {
        std::string text = whole;
        text.replace(text.find("size 1000"), 9, "size 1e3");
        return text;
      }(),
      [&] {
        std::string text = whole;
        text.replace(text.find("0+100"), 5, "0-100");
        return text;
      }(),
  };
  for (const std::string& text : cases) {
    DownloadJournal read;
    read.size = 77;
    EXPECT_FALSE(ParseJournal(text, &read)) << text;
    EXPECT_EQ(read.size, 77u);  // untouched
  }
}

TEST(DownloadJournalFile, SaveReplacesTheOldJournalWhole) {
  std::random_device random;
  const fs::path folder = test::ScratchRoot() / ("orvex-journal-" + std::to_string(random()));
  fs::create_directories(folder);
  const std::wstring path = test::PlatformPath(folder / "f.bin.part.journal");
  { std::ofstream(folder / "f.bin.part.journal", std::ios::binary) << std::string(5000, 'z'); }
  ASSERT_TRUE(SaveJournal(path, Sample(), true));
  ASSERT_TRUE(SaveJournal(path, Sample(), false));
  DownloadJournal read;
  ASSERT_TRUE(LoadJournal(path, &read));
  EXPECT_EQ(read.ranges, Sample().ranges);
  EXPECT_FALSE(fs::exists(folder / "f.bin.part.journal.tmp"));
  // A URL with a line break could forge lines: never written.
  DownloadJournal forged = Sample();
  forged.url += "\nsize 5";
  EXPECT_FALSE(SaveJournal(path, forged, true));
  ASSERT_TRUE(LoadJournal(path, &read));
  EXPECT_EQ(read.url, Sample().url);
  EXPECT_EQ(JournalPathOf(L"C:\\x\\f.bin.part"), L"C:\\x\\f.bin.part.journal");
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace orvex
