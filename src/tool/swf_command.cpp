#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "package/swf_stream_reader.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddSwfCommand(CLI::App& app) {
  auto* sub = app.add_subcommand("swf",
                                 "Show the header of an SWF movie: signature, version, length, "
                                 "frame rectangle, size in pixels, frame rate and count.");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub->add_option("FILE", *file, "The movie (FWS or CWS)")->required();
  sub->add_flag("--json", *json, "Print one JSON object");

  return {
      sub, [file, json] {
        package::TSWFStreamReader reader(*file);
        if (!reader.Valid())
          throw std::runtime_error(fmt::format("{}: not an SWF movie (no FWS or CWS signature)", *file));
        const auto& r = reader.Rect();
        const double rate = reader.FrameRate() / 256.0;
        if (*json) {
          nlohmann::ordered_json out;
          out["file"] = *file;
          out["signature"] = reader.Signature();
          out["version"] = reader.Version();
          out["fileLength"] = reader.FileLength();
          out["rect"] = {{"xmin", r.xMin}, {"xmax", r.xMax}, {"ymin", r.yMin}, {"ymax", r.yMax}};
          out["width"] = reader.Width();
          out["height"] = reader.Height();
          out["frameRate"] = rate;
          out["frameCount"] = reader.FrameCount();
          std::cout << out.dump(2) << '\n';
        } else {
          std::cout << fmt::format(
              "signature:   {}\nversion:     {}\nfile length: {}\nframe rect:  xmin {}, xmax {}, ymin {}, "
              "ymax {} (twips)\nsize:        {} x {} pixels\nframe rate:  {:g}\nframe count: {}\n",
              reader.Signature(), reader.Version(), reader.FileLength(), r.xMin, r.xMax, r.yMin, r.yMax,
              reader.Width(), reader.Height(), rate, reader.FrameCount());
        }
        return kExitOk;
      }};
}

}  // namespace pagewend::tool
