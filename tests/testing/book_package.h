#pragma once

#include <filesystem>
#include <string>

#include "package/package_format.h"

namespace pagewend::testing {

// Attribute text for a reference: pos_SUFFIX="..." size_SUFFIX="...".
std::string RefAttrs(const package::RecordRef& ref, const std::string& suffix = "");
// Element text for a section's reference: <pos_>...</pos_><size_>...</size_>.
std::string RefElements(const package::RecordRef& ref);

// A JPEG, PNG or TIFF (by extension: ".png", ".tif", else JPEG) of the given size in one colour.
std::string ImageBytes(int width, int height, const std::string& extension);

// A book that uses every kind of record: background, button and bar groups (two buttons share
// one file name), preloader, logo, search index, table of contents, language archive, two pages
// with images, a movie, a video with its preview, page search and download files, mobile
// images, the book-wide download, the background sound and viewer files. Its title is
// "My Book".
void WriteRichBook(const std::filesystem::path& package, const std::filesystem::path& stub = {});

}  // namespace pagewend::testing
