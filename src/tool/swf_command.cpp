#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "swf/swf_stream_reader.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddSwfCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(app, "swf",
                                       "Show the header of an SWF movie: signature, version, length, "
                                       "frame rectangle, size in pixels, frame rate and count.",
                                       "FILE", "The movie (FWS or CWS)", kJsonHelp);
  return c.With([args = c.args] {
    swf::SwfStreamReader reader(args->file);
    if (!reader.Valid()) throw std::runtime_error("not an SWF movie (no FWS or CWS signature)");
    // A compressed movie cut short fails to inflate; an uncompressed one only falls short.
    if (const auto size = std::filesystem::file_size(args->file);
        !reader.Compressed() && size < reader.FileLength())
      throw std::runtime_error(
          fmt::format("the movie is cut short: the file holds {} of the {} bytes its header declares", size,
                      reader.FileLength()));
    const auto& r = reader.Rect();
    const double rate = reader.FrameRate() / 256.0;
    if (args->json) {
      nlohmann::ordered_json out;
      out["file"] = args->file;
      out["signature"] = reader.Signature();
      out["version"] = reader.Version();
      out["file_length"] = reader.FileLength();
      out["rect"] = {{"x_min", r.xMin}, {"x_max", r.xMax}, {"y_min", r.yMin}, {"y_max", r.yMax}};
      out["width"] = reader.Width();
      out["height"] = reader.Height();
      out["frame_rate"] = rate;
      out["frame_count"] = reader.FrameCount();
      PrintJson(out);
    } else {
      std::cout << fmt::format(
          "signature:   {}\nversion:     {}\nfile length: {}\nframe rect:  xmin {}, xmax {}, ymin {}, "
          "ymax {} (twips)\nsize:        {} x {} pixels\nframe rate:  {:g}\nframe count: {}\n",
          reader.Signature(), reader.Version(), reader.FileLength(), r.xMin, r.xMax, r.yMin, r.yMax,
          reader.Width(), reader.Height(), rate, reader.FrameCount());
    }
    return kExitOk;
  });
}

}  // namespace pagewend::tool
