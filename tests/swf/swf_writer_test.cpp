#include "swf/swf_writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "swf/swf_stream_reader.h"

namespace pagewend::swf {
namespace {

SwfStreamReader Read(const std::string& bytes) {
  std::istringstream in(bytes);
  SwfStreamReader reader;
  reader.LoadFromStream(in);
  return reader;
}

// Splits a tag stream into (code, body) pairs, following short and long headers.
std::vector<std::pair<int, std::string>> Tags(const std::string& body) {
  std::vector<std::pair<int, std::string>> tags;
  std::size_t at = 0;
  while (at + 2 <= body.size()) {
    const auto word = static_cast<unsigned>(static_cast<unsigned char>(body[at]) |
                                            static_cast<unsigned char>(body[at + 1]) << 8);
    at += 2;
    std::size_t length = word & 0x3F;
    if (length == 0x3F) {
      length = 0;
      for (int i = 3; i >= 0; --i)
        length = length << 8 | static_cast<unsigned char>(body[at + static_cast<std::size_t>(i)]);
      at += 4;
    }
    tags.emplace_back(static_cast<int>(word >> 6), body.substr(at, length));
    at += length;
  }
  return tags;
}

TEST(SwfWriter, HeaderCountsFramesAndLengthAndReadsBack) {
  SwfWriter writer(10, {0, 6000, 0, 4000}, 24);
  writer.SetBackgroundColor({1, 2, 3});
  writer.ShowFrame();
  writer.ShowFrame();
  const std::string movie = writer.Finish();
  SwfStreamReader reader = Read(movie);
  ASSERT_TRUE(reader.Valid());
  EXPECT_EQ(reader.Signature(), "FWS");
  EXPECT_EQ(reader.Version(), 10);
  EXPECT_EQ(reader.FileLength(), movie.size());
  EXPECT_EQ(reader.Width(), 300);
  EXPECT_EQ(reader.Height(), 200);
  EXPECT_EQ(reader.FrameRate(), 24 * 256);
  EXPECT_EQ(reader.FrameCount(), 2);
  const auto tags = Tags(reader.Body());
  ASSERT_EQ(tags.size(), 4u);
  EXPECT_EQ(tags[0], (std::pair<int, std::string>{9, "\1\2\3"}));
  EXPECT_EQ(tags[1].first, 1);
  EXPECT_EQ(tags[3], (std::pair<int, std::string>{0, ""}));
  EXPECT_THROW(writer.ShowFrame(), std::logic_error);
}

TEST(SwfWriter, LongActionBlocksUseTheLongTagHeader) {
  SwfWriter writer(10, {0, 20, 0, 20}, 12);
  SwfActions actions;
  actions.PushString(std::string(100, 'x')).Pop();
  writer.DoAction(actions);
  const auto tags = Tags(Read(writer.Finish()).Body());
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].first, 12);
  // Push (1 + 2 + 1 + 100 + 1 bytes), Pop, and the end-of-actions byte.
  EXPECT_EQ(tags[0].second.size(), 105u + 1 + 1);
  EXPECT_EQ(tags[0].second.back(), '\0');
}

TEST(SwfActions, EncodesPushesAsTheVirtualMachineReadsThem) {
  SwfActions actions;
  actions.PushInt(-2).PushBool(true).PushDouble(1.0).PushNull().GotoFrame(3);
  const std::string expected{
      "\x96\x05\x00\x07\xFE\xFF\xFF\xFF"                  // integer, little-endian two's complement
      "\x96\x02\x00\x05\x01"                              // boolean
      "\x96\x09\x00\x06\x00\x00\xF0\x3F\x00\x00\x00\x00"  // double: high half first
      "\x96\x01\x00\x02"                                  // null
      "\x81\x02\x00\x03\x00",
      8 + 5 + 12 + 4 + 5};
  EXPECT_EQ(actions.Bytes(), expected);
  EXPECT_THROW(actions.PushString(std::string("a\0b", 3)), std::invalid_argument);
}

TEST(SwfActions, ExternalCallPushesItsArgumentsBeforeTheMethod) {
  SwfActions actions;
  actions.CallExternal("fullscreen_error");
  const std::string& bytes = actions.Bytes();
  const auto name = bytes.find("fullscreen_error");
  const auto call = bytes.find(std::string("call\0", 5));
  ASSERT_NE(name, std::string::npos);
  ASSERT_NE(call, std::string::npos);
  EXPECT_LT(name, bytes.find("ExternalInterface"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[call + 5]), 0x52);  // CallMethod right after the name
  EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 0x17);     // the result is dropped
}

// Assembled by hand: a function's length covers its name, parameters and body size, not the body
// that follows it; the condition jumps past the else part and its jump onto the then part; the
// load bits of GetUrl2 lie above its method.
TEST(SwfActions, FunctionsBranchesAndLoadsAreLaidOutAsTheMachineReadsThem) {
  SwfActions body;
  body.PushString("ok").GetVariable().IfElse(SwfActions().Play(), SwfActions().Stop());
  SwfActions actions;
  actions.DefineFunction({"ok", "n"}, body)
      .GetUrl2(SwfActions::UrlLoad::ClipVariables, SwfActions::SendVariables::Post);
  const std::string expected{
      "\x9B\x0A\x00"
      "\x00\x02\x00ok\x00n\x00\x14\x00"  // no name, 2 parameters, a body of 20 bytes
      "\x96\x04\x00\x00ok\x00\x1C"       // push ok, get its value
      "\x9D\x02\x00\x06\x00"             // if true, 6 bytes on
      "\x07"                             // else: stop
      "\x99\x02\x00\x01\x00"             // then jump past
      "\x06"                             // then: play
      "\x9A\x01\x00\xC2",
      3 + 10 + 20 + 4};
  EXPECT_EQ(actions.Bytes(), expected);
}

TEST(SwfWriter, BitmapRectanglesStretchTheirJpegOverTheShape) {
  SwfWriter writer(8, {0, 12000, 0, 16000}, 24);
  writer.DefineJpeg(1, "\xFF\xD8 jpeg bytes");
  writer.DefineBitmapRectangle(2, {0, 12000, 0, 16000}, 1, 300, 400);
  writer.PlaceObject(1, 2);
  writer.ShowFrame();
  SwfStreamReader reader = Read(writer.Finish());
  EXPECT_EQ(reader.Width(), 600);
  EXPECT_EQ(reader.FrameCount(), 1);
  const auto tags = Tags(reader.Body());
  ASSERT_GE(tags.size(), 2u);
  EXPECT_EQ(tags[0], (std::pair<int, std::string>{21, std::string("\1\0\xFF\xD8 jpeg bytes", 15)}));
  ASSERT_EQ(tags[1].first, 2);
  std::stringbuf shape(tags[1].second);
  BitsEngine bits(shape);
  EXPECT_EQ(bits.ReadWord(), 2);
  EXPECT_EQ(bits.ReadRect(), (SwfRect{0, 12000, 0, 16000}));
  EXPECT_EQ(bits.ReadByte(), 1);     // one fill style
  EXPECT_EQ(bits.ReadByte(), 0x41);  // clipped bitmap
  EXPECT_EQ(bits.ReadWord(), 1);
  ASSERT_EQ(bits.ReadBits(1), 1u);  // a scale: 40 twips per bitmap pixel, 16.16 fixed
  const int n = static_cast<int>(bits.ReadBits(5));
  EXPECT_EQ(bits.ReadSignedBits(n), 40 << 16);
  EXPECT_EQ(bits.ReadSignedBits(n), 40 << 16);
}

// A player finds each button condition from the offset before it, the last one saying 0; a wrong
// offset would run another condition's actions or none.
TEST(SwfWriter, ButtonConditionsChainReleaseThenEachKey) {
  SwfWriter writer(8, {0, 2000, 0, 2000}, 24);
  writer.DefineRectangle(1, {0, 2000, 0, 2000}, {1, 2, 3});
  writer.DefineButton(2, 1, SwfActions().NextFrame(),
                      {{'k', SwfActions().CallExternal("key")}, {2, SwfActions().PreviousFrame()}});
  const auto tags = Tags(Read(writer.Finish()).Body());
  ASSERT_GE(tags.size(), 2u);
  ASSERT_EQ(tags[1].first, 34);
  const std::string& body = tags[1].second;
  const auto word = [&body](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(body[at]) |
                                    static_cast<unsigned char>(body[at + 1]) << 8);
  };
  std::vector<std::pair<int, int>> conditions;  // (transitions, key)
  std::vector<std::string> actions;
  std::size_t at = 3 + word(3);
  for (int i = 0; i < 5 && at + 4 <= body.size(); ++i) {
    const std::size_t next = word(at);
    const std::size_t end = next == 0 ? body.size() : at + next;
    ASSERT_LE(end, body.size());
    conditions.emplace_back(static_cast<unsigned char>(body[at + 2]),
                            static_cast<unsigned char>(body[at + 3]) >> 1);
    actions.push_back(body.substr(at + 4, end - at - 4));
    EXPECT_EQ(actions.back().back(), '\0');
    if (next == 0) break;
    at = end;
  }
  EXPECT_EQ(conditions, (std::vector<std::pair<int, int>>{{0x08, 0}, {0, 'k'}, {0, 2}}));
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0], std::string("\x04", 1) + '\0');
  EXPECT_EQ(actions[1], SwfActions().CallExternal("key").Bytes() + '\0');
  EXPECT_EQ(actions[2], std::string("\x05", 1) + '\0');
  EXPECT_THROW(writer.DefineButton(3, 1, {}, {{0, {}}}), std::invalid_argument);
}

}  // namespace
}  // namespace pagewend::swf
