#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "swf/bits_engine.h"

namespace pagewend::swf {

struct SwfRgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
};

// AVM1 action bytes, one action per call, for DoAction tags and button events. Push arguments
// in reverse order before CallFunction/CallMethod, then their count, as the virtual machine pops
// them.
class SwfActions {
 public:
  SwfActions& PushString(std::string_view value);
  SwfActions& PushInt(std::int32_t value);
  SwfActions& PushDouble(double value);
  SwfActions& PushBool(bool value);
  SwfActions& PushNull();
  SwfActions& PushUndefined();

  SwfActions& GetVariable() { return Simple(0x1C); }
  SwfActions& SetVariable() { return Simple(0x1D); }
  SwfActions& GetMember() { return Simple(0x4E); }
  // Object, name and value pushed in that order.
  SwfActions& SetMember() { return Simple(0x4F); }
  SwfActions& CallFunction() { return Simple(0x3D); }
  SwfActions& CallMethod() { return Simple(0x52); }
  // new Name(...): the arguments as for CallFunction, then the class's name.
  SwfActions& NewObject() { return Simple(0x40); }
  // ActionScript 2's ==: undefined equals only undefined and null, "3" equals 3.
  SwfActions& Equals() { return Simple(0x49); }
  SwfActions& Not() { return Simple(0x12); }
  SwfActions& Pop() { return Simple(0x17); }
  SwfActions& NextFrame() { return Simple(0x04); }
  SwfActions& PreviousFrame() { return Simple(0x05); }
  SwfActions& Play() { return Simple(0x06); }
  SwfActions& Stop() { return Simple(0x07); }
  // Frames count from 0.
  SwfActions& GotoFrame(std::uint16_t frame);

  // flash.external.ExternalInterface.call(name), its result dropped: the way a movie asks its
  // container for something.
  SwfActions& CallExternal(std::string_view name);
  // ExternalInterface.call(name, ...) with each of arguments pushing one value; the result dropped.
  SwfActions& CallExternal(std::string_view name, const std::vector<SwfActions>& arguments);
  // getURL(url, target): the way a movie opens a link.
  SwfActions& GetUrl(std::string_view url, std::string_view target);

  // What GetUrl2 does with its URL: the URL is pushed first, then the target, a clip or its path
  // for the clip loads, a window's name or "_levelN" for the others.
  enum class UrlLoad : std::uint8_t {
    Window = 0x00,          // getURL to a window; loadMovieNum into "_levelN"
    Clip = 0x40,            // loadMovie into the target clip
    LevelVariables = 0x80,  // loadVariablesNum into "_levelN"
    ClipVariables = 0xC0,   // loadVariables into the target clip
  };
  // How GetUrl2 sends the current clip's variables along.
  enum class SendVariables : std::uint8_t { None = 0, Get = 1, Post = 2 };
  SwfActions& GetUrl2(UrlLoad load, SendVariables send = SendVariables::None);

  // Branches: the offset counts bytes from the end of the branch action. If pops its condition.
  SwfActions& If(std::int16_t offset);
  SwfActions& Jump(std::int16_t offset);
  // Pops a condition and runs then when it holds, otherwise when it does not.
  SwfActions& IfElse(const SwfActions& then, const SwfActions& otherwise = {});
  // An anonymous function(params...) { body }, pushed as a value; inside, the parameters and
  // "this" are variables. Falling off the end of body returns undefined.
  SwfActions& DefineFunction(const std::vector<std::string>& params, const SwfActions& body);

  const std::string& Bytes() const { return bytes_; }

 private:
  SwfActions& Simple(std::uint8_t code);
  SwfActions& WithData(std::uint8_t code, std::string_view data);

  std::string bytes_;
};

// A key that runs a button's actions wherever the button is on the stage, as long as the movie has
// the keyboard: a character (32-126) or Flash's code for a special key (1 left, 2 right, 13 enter,
// 14 up, 15 down, 19 escape).
struct ButtonKey {
  std::uint8_t code = 0;
  SwfActions actions;
};

// Writes an uncompressed ("FWS") movie tag by tag. Coordinates are in twips (1/20 pixel).
class SwfWriter {
 public:
  // ExternalInterface needs version 8 or later.
  SwfWriter(std::uint8_t version, const SwfRect& frame, double frameRate);

  void SetBackgroundColor(SwfRgb colour);
  // A shape: one filled rectangle with no outline.
  void DefineRectangle(std::uint16_t id, const SwfRect& bounds, SwfRgb fill);
  // A bitmap from a whole JPEG file (DefineBitsJPEG2).
  void DefineJpeg(std::uint16_t id, std::string_view jpeg);
  // A shape: the rectangle filled with the bitmap, stretched to cover it exactly.
  void DefineBitmapRectangle(std::uint16_t id, const SwfRect& bounds, std::uint16_t bitmapId, int bitmapWidth,
                             int bitmapHeight);
  // A push button that shows the shape in every state and runs onRelease when clicked, and the
  // actions of each of onKeys when its key is pressed.
  void DefineButton(std::uint16_t id, std::uint16_t shapeId, const SwfActions& onRelease,
                    const std::vector<ButtonKey>& onKeys = {});
  // Places a character at depth, moved by (x, y).
  void PlaceObject(std::uint16_t depth, std::uint16_t characterId, std::int32_t x = 0, std::int32_t y = 0);
  void RemoveObject(std::uint16_t depth);
  void DoAction(const SwfActions& actions);
  void ShowFrame();

  // The End tag, then the whole file with its header; the writer is done afterwards.
  std::string Finish();

 private:
  void Tag(std::uint16_t code, std::string_view body);
  void DefineFilledRectangle(std::uint16_t id, const SwfRect& bounds, std::string_view fillStyle);

  std::uint8_t version_;
  SwfRect frame_;
  double frameRate_;
  std::uint16_t frames_ = 0;
  std::string tags_;
  bool finished_ = false;
};

}  // namespace pagewend::swf
