#include <fmt/format.h>

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
  return {
      c.app, [args = c.args] {
        swf::SwfStreamReader reader(args->file);
        if (!reader.Valid())
          throw std::runtime_error(fmt::format("{}: not an SWF movie (no FWS or CWS signature)", args->file));
        const auto& r = reader.Rect();
        const double rate = reader.FrameRate() / 256.0;
        if (args->json) {
          nlohmann::ordered_json out;
          out["file"] = args->file;
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
