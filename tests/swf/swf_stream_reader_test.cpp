#include "swf/swf_stream_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "testing/swf_bytes.h"
#include "testing/temp_dir.h"

namespace pagewend::swf {
namespace {

using testing::MakeSwf;

SwfStreamReader ReadBytes(const std::string& bytes) {
  std::istringstream in(bytes);
  SwfStreamReader reader;
  reader.LoadFromStream(in);
  return reader;
}

class RecordingNotifier : public Notifier {
 public:
  void Notify(std::string_view message) override { messages.emplace_back(message); }
  std::vector<std::string> messages;
};

TEST(SwfStreamReader, ReadsAPlainHeaderAndKeepsTheBody) {
  auto reader = ReadBytes(MakeSwf({0, 16000, 0, 9040}, 0x1800, 7, false, "BODY"));
  EXPECT_TRUE(reader.Valid());
  EXPECT_FALSE(reader.Compressed());
  EXPECT_EQ(reader.Signature(), "FWS");
  EXPECT_EQ(reader.Version(), 10);
  EXPECT_EQ(reader.Width(), 800);
  EXPECT_EQ(reader.Height(), 452);
  EXPECT_EQ(reader.FrameRate(), 0x1800);
  EXPECT_EQ(reader.FrameCount(), 7);
  EXPECT_EQ(reader.Body(), "BODY");
}

TEST(SwfStreamReader, TakesTheCompressedRectFromTheInflatedData) {
  std::string bytes = MakeSwf({0, 16000, 0, 9040}, 0x0C00, 3, true, "payload");
  // The raw bytes at offset 8 are zlib's header, which would read as a different RECT.
  auto reader = ReadBytes(bytes);
  EXPECT_TRUE(reader.Compressed());
  EXPECT_EQ(reader.Width(), 800);
  EXPECT_EQ(reader.Height(), 452);
  EXPECT_EQ(reader.FrameCount(), 3);
  EXPECT_EQ(reader.Body(), "payload");
}

TEST(SwfStreamReader, SizesTruncateTowardZeroAndSurviveExtremeRects) {
  EXPECT_EQ(ReadBytes(MakeSwf({0, 39, 0, -39}, 0, 0, false)).Width(), 1);
  EXPECT_EQ(ReadBytes(MakeSwf({0, 39, 0, -39}, 0, 0, false)).Height(), -1);
  auto wide = ReadBytes(MakeSwf({-1073741824, 1073741823, 0, 0}, 0, 0, false));
  EXPECT_EQ(wide.Width(), 107374182);
}

TEST(SwfStreamReader, ShortOrForeignFilesAreInvalidWithoutAnError) {
  for (const std::string& bytes : {std::string("FWS"), std::string("FWT\x0a\x10\0\0\0", 8), std::string(),
                                   std::string("ZWS\x0d\x10\0\0\0", 8)}) {
    auto reader = ReadBytes(bytes);
    EXPECT_FALSE(reader.Valid()) << bytes;
    EXPECT_EQ(reader.Width(), 0);
    EXPECT_EQ(reader.Height(), 0);
  }
}

TEST(SwfStreamReader, TruncatedHeadersThrow) {
  std::string plain = MakeSwf({0, 16000, 0, 9040}, 0, 1, false);
  EXPECT_THROW(ReadBytes(plain.substr(0, 10)), StreamError);
  EXPECT_THROW(ReadBytes(plain.substr(0, plain.size() - 1)), StreamError);  // frame count cut
}

TEST(SwfStreamReader, DamagedOrShortCompressedDataThrows) {
  std::string good = MakeSwf({0, 100, 0, 100}, 0, 1, true, std::string(1000, 'x'));
  // The stream ends before the header's length.
  std::string longClaim = MakeSwf({0, 100, 0, 100}, 0, 1, true, std::string(1000, 'x'), 5000);
  EXPECT_THROW(ReadBytes(longClaim), StreamError);
  // The compressed stream is cut short.
  EXPECT_THROW(ReadBytes(good.substr(0, good.size() - 10)), StreamError);
  // Garbage where the zlib stream should be.
  std::string garbage = good.substr(0, 8) + std::string(100, '\x55');
  EXPECT_THROW(ReadBytes(garbage), StreamError);
  // A length shorter than the header itself.
  EXPECT_THROW(ReadBytes(MakeSwf({0, 100, 0, 100}, 0, 1, true, "", 4)), StreamError);
}

TEST(SwfStreamReader, AHugeClaimCostsOnlyTheInflatedData) {
  // A few hundred bytes claiming 4 GiB: the reader reports the short stream without reserving
  // memory for the claim (the sanitizer build would fail an allocation of that size).
  std::string bytes = MakeSwf({0, 100, 0, 100}, 0, 1, true, std::string(200, 'y'), 0xFFFFFFFFu);
  // The message quotes the header's claim (4 GiB less the 8 header bytes), not the reader's cap.
  EXPECT_THAT([&] { ReadBytes(bytes); }, ::testing::ThrowsMessage<StreamError>(::testing::HasSubstr(
                                             "of the 4294967287 bytes its header claims")));
}

TEST(SwfStreamReader, ACompressionBombStopsAtTheLimit) {
  // 300 MiB of zeros deflates to about 300 KB; the reader gives up at its limit.
  const std::uint64_t claim = static_cast<std::uint64_t>(kMaxSwfLength) + (44u << 20);
  z_stream z{};
  ASSERT_EQ(deflateInit(&z, 9), Z_OK);
  std::string rect;
  {
    std::stringbuf buf;
    BitsEngine bits(buf);
    bits.WriteRect({0, 100, 0, 100});
    bits.WriteWord(0);
    bits.WriteWord(1);
    rect = buf.str();
  }
  std::string packed;
  std::string zeros(1 << 20, '\0');
  std::vector<char> out(1 << 20);
  auto pump = [&](const char* data, std::size_t size, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      packed.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  pump(rect.data(), rect.size(), Z_NO_FLUSH);
  for (std::uint64_t done = rect.size(); done < claim - 8; done += zeros.size())
    pump(zeros.data(), static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), claim - 8 - done)),
         Z_NO_FLUSH);
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  std::string bytes = "CWS\x0a";
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((claim >> (8 * i)) & 0xFF);
  bytes += packed;
  try {
    ReadBytes(bytes);
    FAIL() << "expected the limit to stop the reader";
  } catch (const StreamError& e) {
    EXPECT_NE(std::string(e.what()).find("limit"), std::string::npos) << e.what();
  }
}

TEST(SwfStreamReader, GetSwfSizeTellsTheNotifierAboutMissingAndForeignFiles) {
  testing::TempDir dir;
  RecordingNotifier notifier;
  EXPECT_EQ(GetSwfSize(dir / "none.swf", notifier), SwfSize{});
  testing::WriteFile(dir / "movie.png", MakeSwf({0, 16000, 0, 9040}, 0, 1, false));
  EXPECT_EQ(GetSwfSize(dir / "movie.png", notifier), SwfSize{});
  ASSERT_EQ(notifier.messages.size(), 2u);
  EXPECT_EQ(notifier.messages[0], (dir / "none.swf").string() + " do not exist.");
  EXPECT_EQ(notifier.messages[1], (dir / "movie.png").string() + " is not a SWF File.");

  testing::WriteFile(dir / "Movie.SWF", MakeSwf({0, 16000, 0, 9040}, 0, 1, true));
  EXPECT_EQ(GetSwfSize(dir / "Movie.SWF", notifier), (SwfSize{800, 452}));
  testing::WriteFile(dir / "text.swf", "just text");
  EXPECT_EQ(GetSwfSize(dir / "text.swf", notifier), SwfSize{});
  EXPECT_EQ(notifier.messages.size(), 2u);

  // The size costs the header, not the movie: a movie that claims 4 GiB, far past what the
  // whole-movie reader takes, is measured from the first bytes it inflates.
  testing::WriteFile(dir / "huge.swf",
                     MakeSwf({0, 16000, 0, 9040}, 0, 1, true, std::string(200, 'y'), 0xFFFFFFFFu));
  EXPECT_EQ(GetSwfSize(dir / "huge.swf", notifier), (SwfSize{800, 452}));
  EXPECT_THROW(SwfStreamReader(dir / "huge.swf"), StreamError);
}

// Real movies from another project's suite: every file either reads with a sane header or is
// refused with StreamError; none crashes the reader.
TEST(SwfStreamReader, CorpusMoviesReadOrFailCleanly) {
  const std::filesystem::path corpus = std::filesystem::path(PAGEWEND_CORPUS_DIR) / "swf";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  int valid = 0, refused = 0, foreign = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    try {
      SwfStreamReader reader(entry.path());
      if (!reader.Valid()) {
        ++foreign;
        continue;
      }
      ++valid;
      EXPECT_TRUE(reader.Signature() == "FWS" || reader.Signature() == "CWS");
    } catch (const StreamError&) {
      ++refused;
    }
  }
  EXPECT_GT(valid, 250);
  EXPECT_EQ(foreign, 5);  // the LZMA movies
  RecordProperty("refused", refused);
}

}  // namespace
}  // namespace pagewend::swf
