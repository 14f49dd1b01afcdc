#include <archive.h>
#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <re2/re2.h>

TEST(DepsCheck, Links) {
  Json::Value v;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse("{\"a\": 1}", v));
  EXPECT_EQ(v["a"].asInt(), 1);
  CURL *curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  curl_easy_cleanup(curl);
  EXPECT_THAT(curl_version(), ::testing::HasSubstr("Schannel"));
  EXPECT_TRUE(RE2::FullMatch("driver-12.zip", "driver-[0-9]+\\.zip"));
  struct archive *zip = archive_read_new();
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(archive_read_support_format_zip(zip), ARCHIVE_OK);
  EXPECT_EQ(archive_read_support_filter_none(zip), ARCHIVE_OK);
  archive_read_free(zip);
  EXPECT_THAT(archive_zlib_version(), ::testing::NotNull());
}
