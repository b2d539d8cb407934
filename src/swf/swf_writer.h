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
  SwfActions& CallFunction() { return Simple(0x3D); }
  SwfActions& CallMethod() { return Simple(0x52); }
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
  // getURL(url, target): the way a movie opens a link.
  SwfActions& GetUrl(std::string_view url, std::string_view target);

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
