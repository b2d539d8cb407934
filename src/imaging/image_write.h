#pragma once

#include <QByteArray>
#include <QImage>
#include <filesystem>

#include "support/folder_root.h"

namespace pagewend::imaging {

// Writes image as format (a Qt image format name) to dest, a file created beneath outputs, never
// through a link. quality as QImageWriter takes it (for PNG, Qt's zlib level); -1 keeps the
// format's default. Throws PageImageError when Qt has no writer for format, ImageError when the
// file cannot be made or written.
void WriteImage(const QImage& image, const std::filesystem::path& dest, const FolderRoot& outputs,
                const QByteArray& format, int quality = -1);

}  // namespace pagewend::imaging
