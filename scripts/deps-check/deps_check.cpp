#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/json.h>

TEST(DepsCheck, Links) {
  Json::Value v;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse("{\"a\": 1}", v));
  EXPECT_EQ(v["a"].asInt(), 1);
  CURL *curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  curl_easy_cleanup(curl);
  EXPECT_THAT(curl_version(), ::testing::HasSubstr("Schannel"));
}
