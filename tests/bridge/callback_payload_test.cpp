#include "bridge/callback_payload.h"

#include <gtest/gtest.h>

#include "support/page_scripts.h"

TEST(Base64EncodeTest, MatchesRfc4648Vectors) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
  // Every byte value survives a round trip, high bits included.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(EncodeCallbackPayloadTest, WorkedCancelExampleIsByteExact) {
  CallbackPayload payload;
  payload.cbid = "c1";
  const std::string json = SerializeCallbackPayload(payload);
  EXPECT_EQ(json, R"({"cbid":"c1","done":0,"jsp":"","message":"","name":"","result":0,"todo":0})");
  EXPECT_EQ(json.size(), 74u);
  const std::string encoded = EncodeCallbackPayload(payload);
  EXPECT_EQ(encoded.size(), 100u);
  EXPECT_EQ(encoded.back(), '=');
  EXPECT_EQ(Base64Decode(encoded), json);
}

TEST(EncodeCallbackPayloadTest, DownloadProgressExample) {
  CallbackPayload payload;
  payload.name = "UtlDwldFile";
  payload.cbid = "dl-1";
  payload.jsp = "onDownloadProgress";
  payload.done = 1048576;
  payload.todo = 5242880;
  EXPECT_EQ(SerializeCallbackPayload(payload),
            R"({"cbid":"dl-1","done":1048576,"jsp":"onDownloadProgress","message":"",)"
            R"("name":"UtlDwldFile","result":0,"todo":5242880})");

  // Waiting to try again: the retry figures join in key order, and only then.
  payload.attempt = 4;
  payload.attempts = 20;
  payload.retryInMs = 30000;
  payload.waitingFor = "server";
  EXPECT_EQ(SerializeCallbackPayload(payload),
            R"({"attempt":4,"attempts":20,"cbid":"dl-1","done":1048576,"jsp":"onDownloadProgress",)"
            R"("message":"","name":"UtlDwldFile","result":0,"retryInMs":30000,"todo":5242880,)"
            R"("waitingFor":"server"})");

  // Bytes kept across downloads join only when there are some.
  payload.attempt = 0;
  payload.continuesFrom = 6000000;
  payload.kept = 7;
  EXPECT_EQ(SerializeCallbackPayload(payload),
            R"({"cbid":"dl-1","continuesFrom":6000000,"done":1048576,"jsp":"onDownloadProgress",)"
            R"("kept":7,"message":"","name":"UtlDwldFile","result":0,"todo":5242880})");
}

TEST(EncodeCallbackPayloadTest, NumbersAndEscapes) {
  CallbackPayload payload;
  payload.result = static_cast<uint32_t>(-1);
  payload.message = "{\"a\":1}\nline\ttab\x01";
  payload.todo = UINT64_MAX;
  const std::string json = SerializeCallbackPayload(payload);
  EXPECT_NE(json.find(R"("result":4294967295)"), std::string::npos);
  EXPECT_NE(json.find(R"("todo":18446744073709551615)"), std::string::npos);
  EXPECT_NE(json.find(R"("message":"{\"a\":1}\nline\ttab\u0001")"), std::string::npos);
  // The Base64 text needs no escaping inside the script's apostrophes.
  EXPECT_EQ(EncodeCallbackPayload(payload).find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
}

TEST(EncodeCallbackPayloadTest, NonAsciiIsRawUtf8AndBadBytesBecomeReplacementCharacters) {
  CallbackPayload payload;
  payload.message = "Caf\xC3\xA9.zip";
  EXPECT_NE(SerializeCallbackPayload(payload).find("\"message\":\"Caf\xC3\xA9.zip\""),
            std::string::npos);

  payload.message = "bad\xFF\xFEname\xC3";
  std::string json;
  ASSERT_NO_THROW(json = SerializeCallbackPayload(payload));
  EXPECT_NE(json.find("\"message\":\"bad\xEF\xBF\xBD\xEF\xBF\xBDname\xEF\xBF\xBD\""),
            std::string::npos);
}
