// URL encoding under Wine's real script control: the control path, the in-process twin, and the
// fallback when the control is missing, unregistered or failing.
#include <gtest/gtest.h>
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/text.h"
#include "encoding/member_call.h"
#include "encoding/script_control.h"
#include "tests/support/script_control_registry.h"

void PrintTo(const Text& t, std::ostream* os) { *os << '"' << t.str() << '"'; }

namespace {

struct Case {
  Text in;
  Text want;
};

// Source literals reach the program as code page 936: 中 is D6 D0.
const Case kTable[] = {
    {"中", "%E4%B8%AD"},
    {"我的 home", "%E6%88%91%E7%9A%84%20home"},
    {"a+b;c:d", "a%2Bb%3Bc%3Ad"},
    {"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
    {"')" ";", "')%3B"},  // urlencode_1 is run, not urlencode, which would encode ' and ) too
    {"100% \"Wi-Fi\"", "100%25%20%22Wi-Fi%22"},
    {"", ""},
};

void expectTable(const char* how, const std::function<Text(const Text&)>& encode) {
  for (const auto& c : kTable) EXPECT_EQ(encode(c.in), c.want) << how << " of " << c.in.str();
}

class EncodingWithControl : public testing::Test {
 protected:
  void SetUp() override {
    setUpScriptControl(cell);
    ASSERT_TRUE(cell) << "the script control could not be made";
  }
  void TearDown() override {
    releaseScriptControl(cell);
    EXPECT_FALSE(cell);
  }
  ScriptControl cell;
};

}  // namespace

TEST(EncodingScript, IsTheExpectedText) {
  const std::string script = urlEncodeScript;
  EXPECT_EQ(script.size(), 305u);
  EXPECT_EQ(std::count(script.begin(), script.end(), '\\'), 3);
  EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 7);
  EXPECT_EQ(script.find('\n') - 1, script.find('\r'));  // CR LF, not a bare LF
  EXPECT_NE(script.back(), '\n');
  EXPECT_TRUE(std::all_of(script.begin(), script.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  EXPECT_TRUE(script.starts_with("function urlencode (str) {\r\n    str = (str + '').toString();"));
  EXPECT_TRUE(script.ends_with("function urlencode_1 (str) {\r\n    return encodeURIComponent(str);\r\n}"));
}

TEST_F(EncodingWithControl, TableThroughTheControl) {
  expectTable("control path", [&](const Text& t) { return urlEncodeByScript(cell, t); });
  expectTable("urlEncode", [&](const Text& t) { return urlEncode(cell, t); });
}

TEST_F(EncodingWithControl, RepeatedEncodingIsStableAndLeavesTheInputAlone) {
  const Text name("我的 home");
  const Text before = name;
  const Text first = urlEncode(cell, name);
  const Text second = urlEncode(cell, name);
  EXPECT_EQ(first, Text("%E6%88%91%E7%9A%84%20home"));
  EXPECT_EQ(second, first);
  EXPECT_EQ(name, before);
}

// Every case must come back from the control itself (non-empty), and equal the in-process twin.
TEST_F(EncodingWithControl, InProcessTwinMatchesTheControl) {
  std::vector<Text> inputs;
  std::string allAscii;
  for (int c = 0x20; c <= 0x7E; ++c) {
    inputs.emplace_back(std::string(1, static_cast<char>(c)));
    allAscii.push_back(static_cast<char>(c));
  }
  inputs.emplace_back(allAscii);
  inputs.emplace_back("\t\r\n\x01\x1F\x7F");
  inputs.emplace_back("\x80");  // the euro sign, CP936's one single-byte extra
  // Full-width forms ！ .. ～ (A3 A1 .. A3 FE) and the ideographic space.
  std::string fullWidth = "\xA1\xA1";
  for (int t = 0xA1; t <= 0xFE; ++t) {
    const char ch[] = {'\xA3', static_cast<char>(t), 0};
    inputs.emplace_back(ch);
    fullWidth += ch;
  }
  inputs.emplace_back(fullWidth);
  // Every GBK double-byte code, one row per lead byte, and a spread of them one by one.
  int code = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    std::string row;
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const char ch[] = {static_cast<char>(lead), static_cast<char>(trail), 0};
      row += ch;
      if (++code % 53 == 0) inputs.emplace_back(ch);
    }
    inputs.emplace_back(row);
  }
  inputs.emplace_back("Wi-Fi 中文(5G)~办公室·二楼");

  for (const Text& in : inputs) {
    const Text byControl = urlEncodeByScript(cell, in);
    ASSERT_FALSE(byControl.empty()) << "the control gave nothing for " << in.str();
    EXPECT_EQ(urlEncodeInProcess(in), byControl) << in.str();
  }
}

TEST_F(EncodingWithControl, FailingControlFallsBackInProcess) {
  // A control whose language is no longer JavaScript fails AddCode and run alike.
  callMember(cell, L"Language", CallKind::propertyPut, {"VBScript"});
  EXPECT_EQ(urlEncodeByScript(cell, "中"), Text());
  expectTable("urlEncode over a failing control",
              [&](const Text& t) { return urlEncode(cell, t); });
}

TEST_F(EncodingWithControl, MemberCallFailuresYieldNothing) {
  callMember(cell, L"AddCode", CallKind::method,
             {"function answer(x) { return 6 * 7; }\r\n"
              "function nothing(x) { return null; }\r\n"
              "function empty(x) { return ''; }\r\n"
              "function thrower(x) { throw new Error('no'); }"});
  // Each is run with one argument: Wine's Run refuses a procedure name with no arguments at all.
  struct {
    const wchar_t* member;
    Text function;
    Text want;
  } cases[] = {
      {L"run", "answer", "42"},      // a number is changed to text
      {L"RUN", "answer", "42"},      // names bind case-insensitively
      {L"run", "nothing", ""},       // null cannot become a string
      {L"run", "empty", ""},
      {L"run", "thrower", ""},       // the script's exception fails the call, shows nothing
      {L"run", "noSuchFunction", ""},
      {L"NoSuchMember", "answer", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(callMember(cell, c.member, CallKind::methodReturningText, {c.function, "x"}), c.want)
        << c.function.str();
  // A method does not bind as a property write.
  callMember(cell, L"AddCode", CallKind::propertyPut, {"function answer(x) { return 1; }"});
  EXPECT_EQ(callMember(cell, L"run", CallKind::methodReturningText, {"answer", "x"}), Text("42"));
  // After all of that the control still encodes.
  EXPECT_EQ(urlEncodeByScript(cell, "中"), Text("%E4%B8%AD"));
}

TEST(EncodingWithoutControl, EmptyCellFallsBackInProcess) {
  const ScriptControl cell;
  EXPECT_EQ(urlEncodeByScript(cell, "中"), Text());
  EXPECT_EQ(callMember(cell, L"run", CallKind::methodReturningText, {"urlencode_1", "a"}), Text());
  expectTable("urlEncode", [&](const Text& t) { return urlEncode(cell, t); });
  expectTable("in-process", urlEncodeInProcess);
}

namespace {

// Takes the ProgID out of the shared prefix's registry for one test and always puts it back.
class EncodingUnregistered : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(unregistered.removed()) << "the prefix has no script control to take away"; }
  void TearDown() override {
    ASSERT_TRUE(unregistered.restore()) << "the script control's ProgID was not restored";
    // Back in place, the control can be made again.
    ScriptControl again;
    setUpScriptControl(again);
    EXPECT_TRUE(again);
  }
  registry::ScriptControlUnregistered unregistered;
};

}  // namespace

TEST_F(EncodingUnregistered, SetUpLeavesTheCellEmptyAndEncodingStillWorks) {
  ScriptControl cell;
  setUpScriptControl(cell);
  EXPECT_FALSE(cell);
  expectTable("urlEncode", [&](const Text& t) { return urlEncode(cell, t); });
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The script control lives in a single-threaded apartment.
  if (FAILED(OleInitialize(nullptr))) return 2;
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
