// Value paths and their two lookup modes, the argument helpers modules read their arguments
// with, "%NAME%" placeholders, single-quoted snippets and the JSON reader's leniency.

#include "engine/value_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/json_text.h"
#include "engine/placeholders.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

struct LookupCase {
  const char* doc;
  const char* path;
  const char* found;         // read-only lookup result
  const char* docAfterMake;  // document after lookup with creation
  bool made;                 // whether lookup with creation yields a node
};

TEST(ValuePath, ReadOnlyAndCreatingLookups) {
  const std::vector<LookupCase> cases = {
      {"null", ".a.b", "null", R"({"a":{"b":null}})", true},
      {R"({"a":{"b":1}})", ".a.b", "1", R"({"a":{"b":1}})", true},
      {R"({"a":{"b":1}})", ".a..b", "1", R"({"a":{"b":1}})", true},
      {R"({"a":{"b":1}})", "a.b", "1", R"({"a":{"b":1}})", true},
      {R"({"a":{"b":1}})", ".a.c", "null", R"({"a":{"b":1,"c":null}})", true},
      {R"({"k":1})", ".", R"({"k":1})", R"({"k":1})", true},
      {R"({"k":1})", "", R"({"k":1})", R"({"k":1})", true},
      {"null", ".list[3]", "null", R"({"list":[null,null,null,null]})", true},
      {R"({"a":[10,20,30]})", ".a[1]", "20", R"({"a":[10,20,30]})", true},
      {R"({"a":[10,20]})", ".a[4]", "null", R"({"a":[10,20,null,null,null]})", true},
      // The character after the digits is skipped whatever it is, even at the end.
      {R"({"a":[10,20,30]})", ".a[2", "30", R"({"a":[10,20,30]})", true},
      {R"({"a":[10,20,30]})", ".a[1x", "20", R"({"a":[10,20,30]})", true},
      {R"({"a":[{"b":5}]})", ".a[0]b", "5", R"({"a":[{"b":5}]})", true},
      {R"({"a":[7,8]})", ".a[]", "7", R"({"a":[7,8]})", true},
      {R"({"a":[[1,2],[3,4]]})", ".a[1][0]", "3", R"({"a":[[1,2],[3,4]]})", true},
      {R"({"a b":{"c-d!":"v"}})", ".a b.c-d!", R"("v")", R"({"a b":{"c-d!":"v"}})", true},
      // A step into a node of the wrong kind is a missing node; nothing is created.
      {R"({"s":"text"})", ".s.x", "null", R"({"s":"text"})", false},
      {R"({"n":5})", ".n[0]", "null", R"({"n":5})", false},
      {R"({"b":true})", ".b.x.y", "null", R"({"b":true})", false},
      {R"({"arr":[1]})", ".arr.x", "null", R"({"arr":[1]})", false},
      {R"({"o":{"0":1}})", ".o[0]", "null", R"({"o":{"0":1}})", false},
      {R"("root")", ".x", "null", R"("root")", false},
      // Indexes above the limit are missing too, however many digits they have.
      {"null", ".x[100001]", "null", "null", false},
      {R"({"a":[7]})", ".a[4294967296]", "null", R"({"a":[7]})", false},
      {R"({"a":[7,{"b":8}]})", ".a[4294967297].b", "null", R"({"a":[7,{"b":8}]})", false},
      {R"({"a":{}})", ".a.b[99999999999999999999]", "null", R"({"a":{}})", false},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(std::string(c.doc) + " " + c.path);
    const Json::Value original = J(c.doc);

    EXPECT_EQ(Compact(J(c.found)), Compact(FindPath(original, c.path)));

    Json::Value doc = original;
    Json::Value* node = MakePath(doc, c.path);
    EXPECT_EQ(c.made, node != nullptr);
    EXPECT_EQ(Compact(J(c.docAfterMake)), Compact(doc));
    // The node made is the one a read-only lookup now finds.
    if (node) {
      EXPECT_EQ(node, &FindPath(doc, c.path));
    }
  }
}

TEST(ValuePath, IndexLimitAppliesToBothLookups) {
  Json::Value doc;
  Json::Value* last = MakePath(doc, ".a[100000]");
  ASSERT_NE(nullptr, last);
  *last = "end";
  EXPECT_EQ(100001u, doc["a"].size());
  EXPECT_EQ("end", GetStringByPath(doc, ".a[100000]"));

  doc["a"][100001] = "beyond";  // a long array that did not come through a value path
  EXPECT_TRUE(FindPath(doc, ".a[100001]").isNull());
  EXPECT_EQ(nullptr, MakePath(doc, ".a[100001]"));
}

TEST(ValuePath, IsValuePath) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {R"(".a")", true},   {R"(".")", true},     {R"("..x")", true},        {R"("")", false},
      {R"("a.b")", false}, {R"(" .a")", false},  {"null", false},           {"1", false},
      {"true", false},     {R"([".a"])", false}, {R"({"p": ".a"})", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, IsValuePath(J(c.first)));
  }
}

TEST(ValuePath, ResolveStringArg) {
  struct Case {
    const char* doc;
    const char* arg;
    const char* expected;
    const char* docAfter;
  };
  const std::vector<Case> cases = {
      {"{}", R"("C:\\Temp\\orvex")", "C:\\Temp\\orvex", "{}"},
      {"{}", R"("")", "", "{}"},
      {R"({"SessionDir":"C:\\s"})", R"(".SessionDir")", "C:\\s", R"({"SessionDir":"C:\\s"})"},
      {R"({"a":1})", R"(".missing.x")", "", R"({"a":1,"missing":{"x":null}})"},
      {"null", R"(".m")", "", R"({"m":null})"},
      {R"({"n":12})", R"(".n")", "", R"({"n":12})"},
      {R"({"o":{"k":"v"}})", R"(".o")", "", R"({"o":{"k":"v"}})"},
      {R"({"s":"text"})", R"(".s.x")", "", R"({"s":"text"})"},
      {"{}", R"(".x[100001]")", "", "{}"},
      {"{}", "5", "", "{}"},
      {"{}", "true", "", "{}"},
      {"{}", "null", "", "{}"},
      {"{}", R"(["a"])", "", "{}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.arg) + " in " + c.doc);
    Json::Value doc = J(c.doc);
    EXPECT_EQ(c.expected, ResolveStringArg(J(c.arg), doc));
    EXPECT_EQ(Compact(J(c.docAfter)), Compact(doc));
  }
}

TEST(ValuePath, GetStringAndIntByPath) {
  const Json::Value doc = J(R"({"s": "12", "n": 12, "neg": -3, "wide": -5000000000,
      "big": 3000000000, "r": 12.0, "b": true, "o": {"k": "v"}, "a": [1, "x"]})");
  struct Case {
    const char* path;
    const char* text;
    Json::Int64 number;
  };
  const std::vector<Case> cases = {
      {".s", "12", 0},
      {".n", "", 12},
      {".neg", "", -3},
      {".wide", "", -5000000000LL},
      {".big", "", 3000000000LL},
      {".r", "", 0},
      {".b", "", 0},
      {".o", "", 0},
      {".o.k", "v", 0},
      {".a[0]", "", 1},
      {".a[1]", "x", 0},
      {".a[2]", "", 0},
      {".missing", "", 0},
      {".s.x", "", 0},
      {".n[0]", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.text, GetStringByPath(doc, c.path));
    EXPECT_EQ(c.number, GetIntByPath(doc, c.path));
  }
}

TEST(Placeholders, ReplacesStringVariablesInByteOrder) {
  struct Case {
    Json::Value variables;
    const char* text;
    const char* expected;
  };
  Json::Value highByte;  // "z" (0x7a) sorts before "\xc3"
  highByte["z"] = "%\xc3%";
  highByte["\xc3"] = "hi";
  const std::vector<Case> cases = {
      {J(R"({"PROGRESS": "PIDialog"})"), R"({"p": "%PROGRESS%", "u": "%UNKNOWN%"})",
       R"({"p": "PIDialog", "u": "%UNKNOWN%"})"},
      {J(R"({"A": "1"})"), "%A%-%A%%A%", "1-11"},
      // Earlier names are replaced first; their text is seen by later names only.
      {J(R"({"A": "%B%", "B": "x"})"), "%A%", "x"},
      {J(R"({"A": "y", "B": "%A%"})"), "%B%", "%A%"},
      {J(R"({"Z": "%a%", "a": "low"})"), "%Z%", "low"},
      {highByte, "%z%", "hi"},
      // Inserted text is not rescanned for the same name.
      {J(R"({"X": "%X%%X%"})"), "%X%", "%X%%X%"},
      {J(R"({"X": "a%X%"})"), "%X%,%X%", "a%X%,a%X%"},
      // Values go in verbatim, without JSON escaping.
      {J(R"({"D": "C:\\\\d\"q"})"), "\"%D%\"", "\"C:\\\\d\"q\""},
      {J(R"({"B": true, "N": 3, "O": {}, "L": ["x"], "Z": null})"), "%B% %N% %O% %L% %Z%",
       "%B% %N% %O% %L% %Z%"},
      {J("null"), "%A%", "%A%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.expected, ReplacePlaceholders(c.text, c.variables));
  }
}

TEST(Snippets, SingleQuotesBecomeJsonAndTrailingTextIsIgnored) {
  Json::Value out;
  ASSERT_TRUE(ParseSnippet("{'a' : 'b'}, 'c' : ''},", out));
  EXPECT_EQ(J(R"({"a": "b"})"), out);

  ASSERT_TRUE(ParseSnippet(
      "{'class' : 'RestartSystem', 'name' :'RESTART_SYSTEM', 'args' : {}, 'msg' : ''},", out));
  EXPECT_EQ(J(R"({"class": "RestartSystem", "name": "RESTART_SYSTEM", "args": {}, "msg": ""})"),
            out);

  // An apostrophe inside a value becomes a quote and breaks the snippet.
  EXPECT_FALSE(ParseSnippet("{'msg' : 'it's'}", out));
  EXPECT_TRUE(out.isNull());
}

TEST(ParseJson, CommentsTrailingTextAndErrors) {
  Json::Value out;
  std::string error;
  ASSERT_TRUE(
      ParseJson("// leading\n{ /* inner */ \"a\": [1, 2] // after\n} trailing {", out, &error));
  EXPECT_EQ(J(R"({"a": [1, 2]})"), out);

  ASSERT_TRUE(ParseJson("\"text\" more", out));
  EXPECT_EQ(Json::Value("text"), out);

  EXPECT_FALSE(ParseJson("{\n  \"a\": }", out, &error));
  EXPECT_TRUE(out.isNull());
  EXPECT_EQ(0u, error.rfind("line 2, column ", 0)) << error;

  // Nesting beyond the reader's limit is a parse failure, not an exception.
  EXPECT_FALSE(ParseJson(std::string(5000, '['), out, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orvex
