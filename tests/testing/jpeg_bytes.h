#pragma once

#include <string>
#include <vector>

namespace pagewend::testing {

// Samples for libjpeg's compressor, row by row with components interleaved: 1 component is
// grayscale, 3 are RGB (stored as YCbCr), 4 are CMYK stored as Adobe's programs store it
// (inverted, with an Adobe marker), or as YCCK.
struct JpegPicture {
  int width = 0;
  int height = 0;
  int components = 3;
  std::vector<unsigned char> samples;
  bool progressive = false;
  bool ycck = false;
};

// Smooth gradients, different in every component; flat makes every sample the same, which
// compresses to next to nothing.
JpegPicture PatternPicture(int width, int height, int components, bool flat = false);

std::string CompressJpeg(const JpegPicture& picture, int quality = 90);

// The same JPEG with its frame header claiming width x height: the data then ends early.
std::string ClaimingSize(std::string jpeg, int width, int height);

// The same JPEG with its last scan repeated until the file holds `scans` scans.
std::string WithScans(const std::string& jpeg, int scans);

}  // namespace pagewend::testing
