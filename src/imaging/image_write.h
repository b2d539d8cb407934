#pragma once

#include <QByteArray>
#include <QImage>
#include <filesystem>

#include "support/folder_root.h"

namespace pagewend::imaging {

// Loads what Qt knows of its image format plugins, once. Qt's plugin loader first used from a
// worker thread left the heap corrupted (a run with two workers, a TIFF page and JPEG pages,
// aborting at exit): whoever starts workers that may decode or encode through Qt calls this first,
// on its own thread. Every use of Qt's image readers and writers here calls it too.
void PrepareQtImageFormats();

// The format a file's name selects, as Qt's writers name formats: its extension in lower case,
// without the dot.
QByteArray FormatOf(const std::filesystem::path& file);

// Whether WriteImage encodes format itself ("jpeg", "jpg", "png"), never loading a Qt plugin for
// an image in one of the pixel formats it takes.
bool EncodedWithoutQt(const QByteArray& format);

// Whether any pixel of the image is less than opaque.
bool HasTranslucentPixels(const QImage& image);

// Writes image as format (a Qt image format name) to dest, a file created beneath outputs, never
// through a link, once the image is wholly encoded. JPEG (quality as QImageWriter takes it, -1
// for its default of 75) and PNG (fast, whatever the quality; opaque images without an alpha
// channel) are encoded by libjpeg-turbo and libpng from the image's own rows (32-bit and 8-bit
// grey pixels, with their resolution and colour profile); other formats, pixel formats and images
// carrying text by Qt's writers. Throws PageImageError when no writer serves format (no file is
// made), ImageError when the image cannot be encoded or the file cannot be made or written.
void WriteImage(const QImage& image, const std::filesystem::path& dest, const FolderRoot& outputs,
                const QByteArray& format, int quality = -1);

}  // namespace pagewend::imaging
