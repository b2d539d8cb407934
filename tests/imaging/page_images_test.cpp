#include "imaging/page_images.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>
#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "imaging/image_write.h"
#include "imaging/jpeg_reader.h"
#include "imaging/pixel_budget.h"
#include "testing/jpeg_bytes.h"
#include "testing/temp_dir.h"

namespace pagewend::imaging {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

void MakeImage(const fs::path& path, int width, int height, QColor color = QColor(200, 30, 30)) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  ASSERT_TRUE(image.save(QString::fromStdString(path.string())));
}

Size SizeOf(const fs::path& path) {
  QImage image(QString::fromStdString(path.string()));
  return {image.width(), image.height()};
}

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A PNG whose header claims the given size; its data is a token.
std::string PngClaiming(std::uint32_t width, std::uint32_t height) {
  std::string ihdr = "IHDR" + Be32(width) + Be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
  const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), 17));
  return std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + ihdr + Be32(crc) + Be32(0) + "IDAT" +
         Be32(0x35AF061E);
}

TEST(PageImages, RasterSizeNeedsAKnownMarkAndAReadableHeader) {
  testing::TempDir dir;
  MakeImage(dir / "a.png", 300, 200);
  MakeImage(dir / "b.jpg", 640, 480);
  MakeImage(dir / "c.tif", 120, 90);  // TIFF is both a raster mark and a decodable format
  testing::WriteFile(dir / "movie.png", "FWS\x0a rest");
  testing::WriteFile(dir / "short", "\x89");
  EXPECT_EQ(RasterPixelSize(dir / "a.png"), (Size{300, 200}));
  EXPECT_EQ(RasterPixelSize(dir / "b.jpg"), (Size{640, 480}));
  EXPECT_EQ(RasterPixelSize(dir / "c.tif"), (Size{120, 90}));
  EXPECT_EQ(RasterPixelSize(dir / "movie.png"), Size{});
  EXPECT_EQ(RasterPixelSize(dir / "short"), Size{});
  EXPECT_EQ(RasterPixelSize(dir / "missing"), Size{});
}

TEST(PageImages, FitKeepsTheAspectAndNeverEnlarges) {
  EXPECT_EQ(FitWithin({2480, 3508}, {800, 800}), (Size{566, 800}));
  EXPECT_EQ(FitWithin({1600, 900}, {200, 200}), (Size{200, 113}));
  EXPECT_EQ(FitWithin({100, 50}, {800, 800}), (Size{100, 50}));
}

TEST(PageImages, MakesTheThreeImagesStretched) {
  testing::TempDir dir;
  MakeImage(dir / "m.jpg", 1600, 904);
  PageImageJob job{
      dir / "m.jpg", dir / "page0001_i1.jpg", dir / "thumb_0001.jpg", dir / "thumb_0.png", {200, 113}, {}};
  MakePageImages(job);
  EXPECT_EQ(SizeOf(job.mobile), (Size{800, 452}));
  EXPECT_EQ(SizeOf(job.photoThumb), (Size{200, 113}));
  EXPECT_EQ(SizeOf(job.pageThumb), (Size{200, 113}));
  EXPECT_EQ(QImage(QString::fromStdString(job.mobile.string())).format(), QImage::Format_RGB32);  // a JPEG
}

TEST(PageImages, DrawsIntoTheElementsRectangleOnATransparentCanvas) {
  testing::TempDir dir;
  MakeImage(dir / "m.png", 400, 400, QColor(0, 0, 255));
  PageImageJob job{dir / "m.png",     dir / "mobile.png", dir / "photo.png",
                   dir / "thumb.png", {100, 60},          Rect{10, 20, 30, 30}};
  MakePageImages(job);
  const QImage thumb(QString::fromStdString(job.pageThumb.string()));
  ASSERT_EQ(thumb.size(), QSize(100, 60));
  EXPECT_EQ(qAlpha(thumb.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(thumb.pixel(99, 59)), 0);
  EXPECT_EQ(thumb.pixel(25, 35), qRgb(0, 0, 255));
}

TEST(PageImages, MissingBrokenAndOversizedImagesAreNamed) {
  testing::TempDir dir;
  PageImageJob job{dir / "none.jpg", dir / "a.jpg", dir / "b.jpg", dir / "c.png", {10, 10}, {}};
  try {
    MakePageImages(job);
    FAIL();
  } catch (const ImageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("File do not exist: "));
  }
  testing::WriteFile(dir / "broken.jpg", "\xFF\xD8\xFF\xE0 not really a jpeg");
  job.source = dir / "broken.jpg";
  EXPECT_THROW(MakePageImages(job), ImageError);
  testing::WriteFile(dir / "huge.png", PngClaiming(100000, 100000));
  job.source = dir / "huge.png";
  try {
    MakePageImages(job);
    FAIL();
  } catch (const ImageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("100000 x 100000"));
  }
  EXPECT_FALSE(fs::exists(dir / "a.jpg"));
}

// The largest difference of any channel of any pixel; both images of one size and format.
int MaxDifference(const QImage& a, const QImage& b) {
  int most = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                       std::abs(qBlue(p) - qBlue(q))});
    }
  return most;
}

TEST(PageImages, JpegsComeOutAsQtsReaderMadeThem) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    int components;
    bool progressive;
    bool ycck;
  };
  for (const Case& c :
       {Case{"gray", 1, false, false}, Case{"rgb", 3, false, false}, Case{"progressive", 3, true, false},
        Case{"cmyk", 4, true, false}, Case{"ycck", 4, false, true}}) {
    auto picture = testing::PatternPicture(203, 157, c.components);
    picture.progressive = c.progressive;
    picture.ycck = c.ycck;
    const fs::path path = dir / (std::string(c.name) + ".jpg");
    testing::WriteFile(path, testing::CompressJpeg(picture));
    for (const Size size : {Size{203, 157}, Size{101, 78}, Size{30, 20}}) {
      SCOPED_TRACE(::testing::Message() << c.name << " at " << size.width << " x " << size.height);
      QImageReader reader(QString::fromStdString(path.string()));
      reader.setScaledSize(QSize(size.width, size.height));
      const QImage expected = reader.read();
      JpegReader jpeg(path);
      EXPECT_EQ(jpeg.PixelSize(), (Size{203, 157}));
      const QImage image = jpeg.Read(size);
      ASSERT_EQ(image.size(), expected.size());
      EXPECT_EQ(image.format(), expected.format());
      EXPECT_LE(MaxDifference(image, expected), 1);
    }
  }
}

// A scan's mobile image, reduced from libjpeg's scale by the worker's own canvas, is what Qt's
// smooth scaling makes of the scan, with the scan's resolution; the next page's leaves nothing of
// the last one's on the canvas.
TEST(PageImages, MobileImagesAreTheScansScaledDown) {
  testing::TempDir dir;
  for (const int page : {0, 1}) {
    SCOPED_TRACE(page);
    QImage scan(1100, 1500, QImage::Format_RGB32);
    for (int y = 0; y < scan.height(); ++y)
      for (int x = 0; x < scan.width(); ++x)
        scan.setPixel(x, y, page == 0 ? qRgb(x / 5, y / 6, 90) : qRgb(250 - y / 6, 40, x / 5));
    scan.setDotsPerMeterX(11811);
    scan.setDotsPerMeterY(11811);
    const fs::path source = dir / ("scan" + std::to_string(page) + ".jpg");
    ASSERT_TRUE(scan.save(QString::fromStdString(source.string()), "jpg", 95));
    const std::string n = std::to_string(page);
    const PageImageJob job{
        source, dir / ("m" + n + ".png"), dir / ("t" + n + ".jpg"), dir / ("p" + n + ".png"), {150, 200}, {}};
    MakePageImages(job);
    const QImage mobile(QString::fromStdString(job.mobile.string()));
    ASSERT_EQ(mobile.size(), QSize(587, 800));
    EXPECT_EQ(mobile.dotsPerMeterX(), 11811);
    const QImage expected = QImage(QString::fromStdString(source.string()))
                                .scaled(587, 800, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(mobile.format());
    EXPECT_LE(MaxDifference(mobile, expected), 4);
  }
}

// The run's own JPEG and PNG writers stand in for Qt's: the same JPEG bytes, the same PNG pixels.
TEST(PageImages, WrittenImagesAreWhatQtsWritersMake) {
  testing::TempDir dir;
  const FolderRoot root(dir.Path());
  QImage rgb(203, 157, QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x) rgb.setPixel(x, y, qRgb(x, y, (x * y) & 0xFF));
  rgb.setDotsPerMeterX(11811);  // 300 dpi
  rgb.setDotsPerMeterY(11811);
  QImage profiled = rgb;
  profiled.setColorSpace(QColorSpace::AdobeRgb);
  QImage translucent = rgb.convertToFormat(QImage::Format_ARGB32);
  for (int x = 0; x < 40; ++x) translucent.setPixel(x, 7, qRgba(10, 200, 30, x * 6));
  const auto byQt = [](const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image));
    return bytes.toStdString();
  };
  struct Case {
    const char* name;
    QImage image;
  };
  for (const Case& c : {Case{"rgb", rgb}, Case{"profiled", profiled},
                        Case{"gray", rgb.convertToFormat(QImage::Format_Grayscale8)},
                        Case{"opaque argb", rgb.convertToFormat(QImage::Format_ARGB32_Premultiplied)},
                        Case{"translucent", translucent},
                        Case{"translucent premultiplied",
                             translucent.convertToFormat(QImage::Format_ARGB32_Premultiplied)}}) {
    SCOPED_TRACE(c.name);
    for (const int quality : {-1, 92}) {
      WriteImage(c.image, "a.jpg", root, "jpg", quality);
      EXPECT_EQ(testing::ReadFile(dir / "a.jpg"), byQt(c.image, "jpeg", quality)) << quality;
    }
    WriteImage(c.image, "a.png", root, "png", 80);
    const QImage written(QString::fromStdString((dir / "a.png").string()));
    const QImage expected = QImage::fromData(QByteArray::fromStdString(byQt(c.image, "png", 80)));
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_EQ(written.convertToFormat(QImage::Format_ARGB32),
              expected.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(written.colorSpace(), expected.colorSpace());
    EXPECT_EQ(written.dotsPerMeterX(), 11811);
    EXPECT_EQ(written.hasAlphaChannel(), std::string(c.name).starts_with("translucent"));
  }
  // A format the run does not write itself goes to Qt's writer; one no writer serves leaves no file.
  WriteImage(rgb, "a.bmp", root, "bmp");
  EXPECT_EQ(QImage(QString::fromStdString((dir / "a.bmp").string())), rgb);
  EXPECT_THROW(WriteImage(rgb, "a.nope", root, "nope"), PageImageError);
  EXPECT_FALSE(fs::exists(dir / "a.nope"));
}

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A 2 KB progressive CMYK file claiming 16384 x 16384 made libjpeg hold 2 GiB of coefficients,
// and a file of thousands of scans took a minute: each is refused at once, naming the file.
TEST(PageImages, HostileJpegsAreRefusedQuicklyAndSmall) {
  testing::TempDir dir;
  auto small = testing::PatternPicture(16, 16, 4);
  small.progressive = true;
  const std::string progressive = testing::CompressJpeg(small);
  testing::WriteFile(dir / "claims.jpg", testing::ClaimingSize(progressive, 16384, 16384));
  testing::WriteFile(dir / "scans.jpg", testing::WithScans(progressive, 3000));

  const long peakBefore = PeakRssKib();
  PageImageJob job{dir / "claims.jpg", dir / "m.jpg", dir / "p.jpg", dir / "t.png", {149, 211}, {}};
  try {
    MakePageImages(job);
    FAIL();
  } catch (const PageImageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("claims.jpg: the image (16384 x 16384, 4 components"));
    EXPECT_THAT(e.what(), HasSubstr("more than the limit of 96 MiB"));
  }
  job.source = dir / "scans.jpg";
  try {
    MakePageImages(job);
    FAIL();
  } catch (const PageImageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("scans.jpg: the image has more than 500 scans"));
  }
  try {
    JpegReader(dir / "scans.jpg", {.time = std::chrono::milliseconds(0)}).Read({16, 16});
    FAIL();
  } catch (const PageImageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("scans.jpg: decoding the image took longer than 0 ms"));
  }
  EXPECT_LT(PeakRssKib() - peakBefore, 256 * 1024);
  EXPECT_FALSE(fs::exists(job.mobile));

  // The scan limit at its edge: as many scans as it allows read, one more does not.
  testing::WriteFile(dir / "edge.jpg", testing::WithScans(progressive, 20));
  EXPECT_FALSE(JpegReader(dir / "edge.jpg", {.scans = 20}).Read({16, 16}).isNull());
  testing::WriteFile(dir / "over.jpg", testing::WithScans(progressive, 21));
  EXPECT_THROW(JpegReader(dir / "over.jpg", {.scans = 20}).Read({16, 16}), PageImageError);
}

// Workers share one budget of decoded bytes: a share that does not fit waits until an earlier
// one goes; one larger than the whole waits for all of it rather than for ever.
TEST(PageImages, DecodesOfAllWorkersShareOneBudget) {
  PixelBudget budget(100);
  auto first = std::make_optional(budget.Take(60));
  std::atomic<bool> second{false};
  std::thread waiter([&] {
    const PixelBudget::Share share = budget.Take(60);
    second = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (budget.Waiting() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(budget.Waiting(), 1u);
  EXPECT_FALSE(second.load()) << "both shares held 120 of 100 bytes";
  first.reset();
  waiter.join();
  EXPECT_TRUE(second.load());
  const PixelBudget::Share whole = budget.Take(1000);
  EXPECT_EQ(budget.Waiting(), 0u);
}

// Pages that draw one source at different places decode it once between them, unless no page to
// come reads it; the images kept for them give their bytes back to a decode that needs them,
// which never waits on a kept one.
TEST(PageImages, PagesNamingOneSourceDecodeItOnceWithinTheBudget) {
  testing::TempDir dir;
  MakeImage(dir / "shared.png", 400, 300);
  fs::create_hard_link(dir / "shared.png", dir / "other-name.png");
  const auto budget = std::make_shared<PixelBudget>(4 * 400 * 300 * 4);
  for (int page = 0; page < 4; ++page) {
    const std::string n = std::to_string(page);
    PageImageJob job{dir / (page % 2 ? "shared.png" : "other-name.png"),
                     dir / ("m" + n + ".jpg"),
                     dir / ("t" + n + ".jpg"),
                     dir / ("p" + n + ".png"),
                     {100, 100},
                     Rect{page, page, 50 + page, 40}};
    job.pixels = budget;
    job.sourceReadAgain = page > 0;
    MakePageImages(job);
    EXPECT_EQ(SizeOf(job.mobile), (Size{400, 300}));
    EXPECT_EQ(SizeOf(job.pageThumb), (Size{100, 100}));
  }
  EXPECT_EQ(budget->Reuses(), 2u);
  const PixelBudget::Share all = budget->Take(4 * 400 * 300 * 4);
  EXPECT_EQ(budget->Waiting(), 0u);
}

}  // namespace
}  // namespace pagewend::imaging
