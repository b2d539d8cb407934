#pragma once

#include <filesystem>
#include <string>

namespace pagewend::shell::testing {

// The test movies compiled from tests/movies/ at build time.
std::string TestMovie(const std::string& name);

// A book laid out as published books are: its start movie is the preloader, which loads the viewer
// framework (framework.swf), which reads the kept book document and a language file
// (res/languages/en.xml, from the book's language archive), loads the pages' images (a JPEG, a PNG,
// a JPEG) by the names the book document gives them, plays the book's sound (res/sounds/bg.mp3) and
// reports each step through ExternalInterface ("pagewend_test"). Without the second image, the
// book names it but does not hold it.
void WriteViewerBook(const std::filesystem::path& out, bool withSecondImage = true);

}  // namespace pagewend::shell::testing
