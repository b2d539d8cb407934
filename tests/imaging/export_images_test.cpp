#include "imaging/export_images.h"
#include "imaging/page_render.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

#include "testing/temp_dir.h"

namespace pagewend::imaging {
namespace {

namespace fs = std::filesystem;

Size SizeOf(const fs::path& path) {
  const QImage image(QString::fromStdString(path.string()));
  return {image.width(), image.height()};
}

ExportImageJob Job(const testing::TempDir& dir, std::vector<reading::PagePart> parts) {
  fs::create_directories(dir / "out");
  ExportImageJob job;
  job.page.parts = std::move(parts);
  job.pageWidth = 300;
  job.pageHeight = 400;
  job.screenSide = 100;
  job.thumbSide = 20;
  job.screen = "page";
  job.zoom = "page-zoom";
  job.thumb = "thumb";
  job.outputs = std::make_shared<const FolderRoot>(dir / "out");
  return job;
}

reading::PagePart Image(const fs::path& file, reading::Box box) {
  return {reading::PagePart::Kind::Image, box, file, {}, {}};
}

TEST(ExportImages, SizesFollowTheSourceAndTheFormatItsTransparency) {
  testing::TempDir dir;
  const TextDrawing texts;
  // A large photograph over the whole page: the zoom image is twice the screen's, never more.
  QImage photo(1500, 2000, QImage::Format_RGB32);
  photo.fill(QColor(20, 120, 200));
  ASSERT_TRUE(photo.save(QString::fromStdString((dir / "photo.jpg").string())));
  ExportImageJob job = Job(dir, {Image(dir / "photo.jpg", {0, 0, 300, 400})});
  ExportedImages made = WriteExportImages(job);
  EXPECT_EQ(made.extension, ".jpg");
  EXPECT_TRUE(made.separateZoom);
  EXPECT_EQ(made.zoom, (Size{150, 200}));
  EXPECT_EQ(made.screen, (Size{75, 100}));
  EXPECT_EQ(SizeOf(dir / "out/page.jpg"), made.screen);
  EXPECT_EQ(SizeOf(dir / "out/page-zoom.jpg"), made.zoom);
  EXPECT_EQ(SizeOf(dir / "out/thumb.jpg"), (Size{15, 20}));

  // A JPEG about twice the screen keeps its own size for zooming, coarser: the same picture in
  // fewer bytes, made from its coefficients.
  QImage noisy(150, 200, QImage::Format_RGB32);
  for (int y = 0; y < noisy.height(); ++y)
    for (int x = 0; x < noisy.width(); ++x)
      noisy.setPixel(x, y,
                     qRgb((x * 7 + (x * y) % 13) & 0xFF, (y * 5 + (x ^ y) % 11) & 0xFF, (x + y) & 0xFF));
  ASSERT_TRUE(noisy.save(QString::fromStdString((dir / "noisy.jpg").string()), "JPEG", 95));
  job = Job(dir, {Image(dir / "noisy.jpg", {0, 0, 300, 400})});
  job.screen = "noisy";
  job.zoom = "noisy-zoom";
  made = WriteExportImages(job);
  EXPECT_EQ(made.zoom, (Size{150, 200}));
  EXPECT_EQ(made.screen, (Size{75, 100}));
  EXPECT_LT(fs::file_size(dir / "out/noisy-zoom.jpg"), fs::file_size(dir / "noisy.jpg"));
  const QImage zoomed(QString::fromStdString((dir / "out/noisy-zoom.jpg").string()));
  const QImage source(QString::fromStdString((dir / "noisy.jpg").string()));
  ASSERT_EQ(zoomed.size(), source.size());
  double difference = 0;
  for (int y = 0; y < source.height(); ++y)
    for (int x = 0; x < source.width(); ++x) {
      const QRgb a = source.pixel(x, y), b = zoomed.pixel(x, y);
      difference +=
          std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    }
  EXPECT_LT(difference / (3.0 * source.width() * source.height()), 12.0);  // mean error per channel

  // A source little larger than the screen: zoom no further than its own pixels.
  QImage small(120, 160, QImage::Format_ARGB32);
  small.fill(Qt::transparent);
  QPainter(&small).fillRect(10, 10, 50, 50, Qt::red);
  ASSERT_TRUE(small.save(QString::fromStdString((dir / "small.png").string())));
  job = Job(dir, {Image(dir / "small.png", {0, 0, 300, 400})});
  job.screen = "small";
  made = WriteExportImages(job);
  EXPECT_EQ(made.extension, ".png");  // its transparent places stay so
  EXPECT_EQ(made.zoom, (Size{120, 160}));
  EXPECT_EQ(made.screen, (Size{75, 100}));
  EXPECT_EQ(QImage(QString::fromStdString((dir / "out/small.png").string())).pixelColor(70, 90).alpha(), 0);

  // One at the screen's size is its own zoom image.
  job = Job(dir, {Image(dir / "small.png", {0, 0, 300, 400})});
  job.screenSide = 160;
  job.screen = "same";
  made = WriteExportImages(job);
  EXPECT_FALSE(made.separateZoom);
  EXPECT_EQ(made.screen, (Size{120, 160}));

  // Anything else is composed at the page's resolution: two images and a text on an opaque page,
  // one of them missing, which leaves its box empty.
  reading::PagePart text{reading::PagePart::Kind::Text, {10, 10, 200, 50}, {}, "Hello", {}};
  job = Job(
      dir, {Image(dir / "photo.jpg", {0, 200, 150, 200}), Image(dir / "gone.jpg", {150, 0, 150, 200}), text});
  job.screen = "composed";
  made = WriteExportImages(job);
  EXPECT_EQ(made.extension, ".jpg");
  EXPECT_EQ(made.zoom, (Size{150, 200}));  // capped at twice the screen side
  EXPECT_TRUE(fs::exists(dir / "out/composed.jpg"));
  // A composed page zooms as far as its sharpest image, whichever is drawn last.
  reading::Page sharpFirst;
  sharpFirst.parts = {Image(dir / "photo.jpg", {0, 0, 300, 400}), Image(dir / "small.png", {0, 0, 300, 400})};
  EXPECT_DOUBLE_EQ(ImageResolution(sharpFirst), 5.0);

  // Nothing is written through a link planted where an output goes.
  fs::create_symlink(dir / "elsewhere.jpg", dir / "out/linked.jpg");
  job.screen = "linked";
  EXPECT_THROW(WriteExportImages(job), ImageError);
  EXPECT_FALSE(fs::exists(dir / "elsewhere.jpg"));
}

}  // namespace
}  // namespace pagewend::imaging
