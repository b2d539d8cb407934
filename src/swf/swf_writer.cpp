#include "swf/swf_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace pagewend::swf {

namespace {

// Width of a signed bit field that holds every value: significant bits plus the sign.
int SignedWidth(std::initializer_list<std::int32_t> values) {
  int n = 0;
  for (std::int32_t v : values) {
    const auto u = static_cast<std::uint32_t>(v < 0 ? ~v : v);
    n = std::max(n, u == 0 ? (v < 0 ? 1 : 0) : static_cast<int>(std::bit_width(u)) + 1);
  }
  return n;
}

void WriteMatrix(BitsEngine& bits, std::int32_t x, std::int32_t y) {
  bits.WriteBits(0, 1);  // no scale
  bits.WriteBits(0, 1);  // no rotation
  const int n = SignedWidth({x, y});
  bits.WriteBits(static_cast<std::uint32_t>(n), 5);
  bits.WriteBits(static_cast<std::uint32_t>(x), n);
  bits.WriteBits(static_cast<std::uint32_t>(y), n);
  bits.FlushBits(true);
}

void AppendWord(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void AppendDword(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

SwfActions& SwfActions::Simple(std::uint8_t code) {
  bytes_ += static_cast<char>(code);
  return *this;
}

SwfActions& SwfActions::WithData(std::uint8_t code, std::string_view data) {
  if (data.size() > 0xFFFF) throw std::length_error("an action's data exceeds 65535 bytes");
  bytes_ += static_cast<char>(code);
  AppendWord(bytes_, static_cast<std::uint16_t>(data.size()));
  bytes_ += data;
  return *this;
}

SwfActions& SwfActions::PushString(std::string_view value) {
  if (value.find('\0') != std::string_view::npos)
    throw std::invalid_argument("AVM1 strings end at a zero byte");
  std::string data(1, '\0');
  data += value;
  data += '\0';
  return WithData(0x96, data);
}

SwfActions& SwfActions::PushInt(std::int32_t value) {
  std::string data(1, '\7');
  AppendDword(data, static_cast<std::uint32_t>(value));
  return WithData(0x96, data);
}

SwfActions& SwfActions::PushDouble(double value) {
  std::uint64_t raw = 0;
  std::memcpy(&raw, &value, sizeof raw);
  // AVM1 stores the high 32-bit half first, each half little-endian.
  std::string data(1, '\6');
  AppendDword(data, static_cast<std::uint32_t>(raw >> 32));
  AppendDword(data, static_cast<std::uint32_t>(raw & 0xFFFFFFFFu));
  return WithData(0x96, data);
}

SwfActions& SwfActions::PushBool(bool value) {
  std::string data(1, '\5');
  data += static_cast<char>(value ? 1 : 0);
  return WithData(0x96, data);
}

SwfActions& SwfActions::PushNull() { return WithData(0x96, std::string(1, '\2')); }

SwfActions& SwfActions::PushUndefined() { return WithData(0x96, std::string(1, '\3')); }

SwfActions& SwfActions::GotoFrame(std::uint16_t frame) {
  std::string data;
  AppendWord(data, frame);
  return WithData(0x81, data);
}

SwfActions& SwfActions::CallExternal(std::string_view name) { return CallExternal(name, {}); }

SwfActions& SwfActions::CallExternal(std::string_view name, const std::vector<SwfActions>& arguments) {
  for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
    bytes_ += argument->bytes_;
  PushString(name).PushInt(static_cast<std::int32_t>(arguments.size() + 1));
  PushString("flash").GetVariable().PushString("external").GetMember();
  PushString("ExternalInterface").GetMember();
  return PushString("call").CallMethod().Pop();
}

SwfActions& SwfActions::GetUrl(std::string_view url, std::string_view target) {
  std::string data(url);
  data += '\0';
  data += target;
  data += '\0';
  return WithData(0x83, data);
}

SwfActions& SwfActions::GetUrl2(UrlLoad load, SendVariables send) {
  return WithData(0x9A, std::string(1, static_cast<char>(static_cast<std::uint8_t>(load) |
                                                         static_cast<std::uint8_t>(send))));
}

SwfActions& SwfActions::If(std::int16_t offset) {
  std::string data;
  AppendWord(data, static_cast<std::uint16_t>(offset));
  return WithData(0x9D, data);
}

SwfActions& SwfActions::Jump(std::int16_t offset) {
  std::string data;
  AppendWord(data, static_cast<std::uint16_t>(offset));
  return WithData(0x99, data);
}

SwfActions& SwfActions::IfElse(const SwfActions& then, const SwfActions& otherwise) {
  // The condition jumps over the otherwise branch and its jump past the then branch (5 bytes).
  constexpr std::size_t kJump = 5;
  if (otherwise.bytes_.size() + kJump > 0x7FFF || then.bytes_.size() > 0x7FFF)
    throw std::length_error("a branch exceeds 32767 bytes");
  If(static_cast<std::int16_t>(otherwise.bytes_.size() + kJump));
  bytes_ += otherwise.bytes_;
  Jump(static_cast<std::int16_t>(then.bytes_.size()));
  bytes_ += then.bytes_;
  return *this;
}

SwfActions& SwfActions::DefineFunction(const std::vector<std::string>& params, const SwfActions& body) {
  if (params.size() > 0xFFFF || body.bytes_.size() > 0xFFFF)
    throw std::length_error("a function exceeds 65535 parameters or bytes");
  std::string data(1, '\0');  // no name: the function is pushed
  AppendWord(data, static_cast<std::uint16_t>(params.size()));
  for (const std::string& param : params) {
    if (param.empty() || param.find('\0') != std::string::npos)
      throw std::invalid_argument("a parameter needs a name without zero bytes");
    data += param;
    data += '\0';
  }
  // The body follows the action rather than lying inside it; only its size is the action's.
  AppendWord(data, static_cast<std::uint16_t>(body.bytes_.size()));
  WithData(0x9B, data);
  bytes_ += body.bytes_;
  return *this;
}

SwfWriter::SwfWriter(std::uint8_t version, const SwfRect& frame, double frameRate)
    : version_(version), frame_(frame), frameRate_(frameRate) {
  if (!(frameRate > 0 && frameRate < 256)) throw std::invalid_argument("a frame rate must lie in (0, 256)");
}

void SwfWriter::Tag(std::uint16_t code, std::string_view body) {
  if (finished_) throw std::logic_error("the movie is already finished");
  // Short headers hold lengths up to 62; 63 marks a long header with a 32-bit length.
  const unsigned type = static_cast<unsigned>(code) << 6;
  if (body.size() < 0x3F) {
    AppendWord(tags_, static_cast<std::uint16_t>(type | static_cast<unsigned>(body.size())));
  } else {
    AppendWord(tags_, static_cast<std::uint16_t>(type | 0x3Fu));
    AppendDword(tags_, static_cast<std::uint32_t>(body.size()));
  }
  tags_ += body;
}

void SwfWriter::SetBackgroundColor(SwfRgb colour) {
  Tag(9, std::string{static_cast<char>(colour.r), static_cast<char>(colour.g), static_cast<char>(colour.b)});
}

void SwfWriter::DefineRectangle(std::uint16_t id, const SwfRect& bounds, SwfRgb fill) {
  const char solid[] = {0x00, static_cast<char>(fill.r), static_cast<char>(fill.g),
                        static_cast<char>(fill.b)};
  DefineFilledRectangle(id, bounds, std::string_view(solid, sizeof solid));
}

void SwfWriter::DefineJpeg(std::uint16_t id, std::string_view jpeg) {
  std::string body;
  AppendWord(body, id);
  body += jpeg;
  Tag(21, body);  // DefineBitsJPEG2: a whole JPEG file
}

void SwfWriter::DefineBitmapRectangle(std::uint16_t id, const SwfRect& bounds, std::uint16_t bitmapId,
                                      int bitmapWidth, int bitmapHeight) {
  // A clipped bitmap fill whose matrix stretches the bitmap's pixels over the rectangle.
  std::stringbuf style;
  BitsEngine bits(style);
  bits.WriteByte(0x41);
  bits.WriteWord(bitmapId);
  const auto fixed = [](double v) { return static_cast<std::int32_t>(std::lround(v * 65536.0)); };
  const std::int32_t scaleX = fixed(static_cast<double>(bounds.xMax - bounds.xMin) / bitmapWidth);
  const std::int32_t scaleY = fixed(static_cast<double>(bounds.yMax - bounds.yMin) / bitmapHeight);
  const int scaleBits = SignedWidth({scaleX, scaleY});
  bits.WriteBits(1, 1);
  bits.WriteBits(static_cast<std::uint32_t>(scaleBits), 5);
  bits.WriteBits(static_cast<std::uint32_t>(scaleX), scaleBits);
  bits.WriteBits(static_cast<std::uint32_t>(scaleY), scaleBits);
  bits.WriteBits(0, 1);  // no rotation
  const int moveBits = SignedWidth({bounds.xMin, bounds.yMin});
  bits.WriteBits(static_cast<std::uint32_t>(moveBits), 5);
  bits.WriteBits(static_cast<std::uint32_t>(bounds.xMin), moveBits);
  bits.WriteBits(static_cast<std::uint32_t>(bounds.yMin), moveBits);
  bits.FlushBits(true);
  DefineFilledRectangle(id, bounds, style.str());
}

void SwfWriter::DefineFilledRectangle(std::uint16_t id, const SwfRect& bounds, std::string_view fillStyle) {
  std::stringbuf buf;
  BitsEngine bits(buf);
  bits.WriteWord(id);
  bits.WriteRect(bounds);
  bits.WriteByte(1);  // one fill style
  for (char c : fillStyle) bits.WriteByte(static_cast<std::uint8_t>(c));
  bits.WriteByte(0);     // no line styles
  bits.WriteBits(1, 4);  // fill index bits
  bits.WriteBits(0, 4);  // line index bits
  // Style change: move to the top left corner with fill style 1 on the right of the edges.
  bits.WriteBits(0, 1);
  bits.WriteBits(0b00101, 5);  // new styles 0, line 0, fill1 1, fill0 0, move 1
  const int moveBits = SignedWidth({bounds.xMin, bounds.yMin});
  bits.WriteBits(static_cast<std::uint32_t>(moveBits), 5);
  bits.WriteBits(static_cast<std::uint32_t>(bounds.xMin), moveBits);
  bits.WriteBits(static_cast<std::uint32_t>(bounds.yMin), moveBits);
  bits.WriteBits(1, 1);
  // Clockwise edges; each is a horizontal or vertical straight edge.
  const std::int32_t w = bounds.xMax - bounds.xMin;
  const std::int32_t h = bounds.yMax - bounds.yMin;
  const int n = std::max(2, SignedWidth({w, h, -w, -h}));
  for (auto [delta, vertical] : {std::pair{w, false}, {h, true}, {-w, false}, {-h, true}}) {
    bits.WriteBits(1, 1);  // edge
    bits.WriteBits(1, 1);  // straight
    bits.WriteBits(static_cast<std::uint32_t>(n - 2), 4);
    bits.WriteBits(0, 1);  // not a general line
    bits.WriteBits(vertical ? 1 : 0, 1);
    bits.WriteBits(static_cast<std::uint32_t>(delta), n);
  }
  bits.WriteBits(0, 6);  // end of shape
  bits.FlushBits(true);
  Tag(2, buf.str());
}

void SwfWriter::DefineButton(std::uint16_t id, std::uint16_t shapeId, const SwfActions& onRelease,
                             const std::vector<ButtonKey>& onKeys) {
  std::stringbuf records;
  BitsEngine bits(records);
  bits.WriteByte(0x0F);  // the shape in the up, over, down and hit states
  bits.WriteWord(shapeId);
  bits.WriteWord(1);  // depth inside the button
  WriteMatrix(bits, 0, 0);
  bits.WriteByte(0);  // colour transform without terms
  bits.WriteByte(0);  // end of records
  const std::string characters = records.str();

  std::string body;
  AppendWord(body, id);
  body += '\0';  // a push button, not a menu item
  // The offset counts from this field to the first condition.
  AppendWord(body, static_cast<std::uint16_t>(2 + characters.size()));
  body += characters;
  // Each condition starts with the offset to the next one, from that same field; the last says 0.
  const auto condition = [&body](std::uint8_t transitions, std::uint8_t key, const SwfActions& actions,
                                 bool last) {
    const std::size_t size = 4 + actions.Bytes().size() + 1;
    if (size > 0xFFFF) throw std::length_error("a button's actions exceed 65535 bytes");
    AppendWord(body, last ? 0 : static_cast<std::uint16_t>(size));
    body += static_cast<char>(transitions);
    body += static_cast<char>(key << 1);  // the key code above the over-down-to-idle flag
    body += actions.Bytes();
    body += '\0';
  };
  condition(0x08, 0, onRelease, onKeys.empty());  // over, down -> over, up: released over the button
  for (std::size_t i = 0; i < onKeys.size(); ++i) {
    if (onKeys[i].code == 0 || onKeys[i].code > 126) throw std::invalid_argument("a button key is 1 to 126");
    condition(0, onKeys[i].code, onKeys[i].actions, i + 1 == onKeys.size());
  }
  Tag(34, body);
}

void SwfWriter::PlaceObject(std::uint16_t depth, std::uint16_t characterId, std::int32_t x, std::int32_t y) {
  std::stringbuf buf;
  BitsEngine bits(buf);
  bits.WriteByte(0x06);  // has matrix, has character
  bits.WriteWord(depth);
  bits.WriteWord(characterId);
  WriteMatrix(bits, x, y);
  Tag(26, buf.str());
}

void SwfWriter::RemoveObject(std::uint16_t depth) {
  std::string body;
  AppendWord(body, depth);
  Tag(28, body);
}

void SwfWriter::DoAction(const SwfActions& actions) { Tag(12, actions.Bytes() + '\0'); }

void SwfWriter::ShowFrame() {
  Tag(1, {});
  ++frames_;
}

std::string SwfWriter::Finish() {
  Tag(0, {});
  finished_ = true;
  std::stringbuf header;
  BitsEngine bits(header);
  for (char c : std::string_view("FWS")) bits.WriteByte(static_cast<std::uint8_t>(c));
  bits.WriteByte(version_);
  std::stringbuf rect;
  BitsEngine rectBits(rect);
  rectBits.WriteRect(frame_);
  const std::string rectBytes = rect.str();
  const std::size_t length = 8 + rectBytes.size() + 4 + tags_.size();
  if (length > 0xFFFFFFFFu) throw std::length_error("a movie longer than 4 GiB");
  std::string out = header.str();
  AppendDword(out, static_cast<std::uint32_t>(length));
  out += rectBytes;
  AppendWord(out, static_cast<std::uint16_t>(std::lround(frameRate_ * 256)));  // 8.8 fixed point
  AppendWord(out, frames_);
  out += tags_;
  return out;
}

}  // namespace pagewend::swf
