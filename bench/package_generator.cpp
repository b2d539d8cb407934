#include "package_generator.h"

#include <fstream>
#include <random>
#include <string>

#include "package/package_writer.h"

namespace pagewend::bench {

std::vector<package::RecordRef> MakePackage(const std::filesystem::path& out, std::size_t count,
                                            std::size_t recordSize) {
  const std::filesystem::path scratch = out.string() + ".payload";
  std::mt19937 random(42);
  std::vector<package::RecordRef> refs;
  {
    std::ofstream stub(out.string() + ".stub", std::ios::binary);
    stub << std::string(4096 + 17, 'S');
  }
  package::PackageWriter writer(out, out.string() + ".stub");
  std::string chunk(1 << 20, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = recordSize - recordSize / 32 + random() % (recordSize / 16 + 1);
    {
      std::ofstream payload(scratch, std::ios::binary | std::ios::trunc);
      for (std::size_t done = 0; done < size; done += chunk.size()) {
        for (std::size_t k = 0; k < chunk.size(); k += 64) chunk[k] = static_cast<char>(random());
        payload.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - done)));
      }
    }
    refs.push_back(writer.AddRecord(scratch));
  }
  writer.Finish("<book/>", "<project/>");
  std::filesystem::remove(scratch);
  std::filesystem::remove(out.string() + ".stub");
  return refs;
}

}  // namespace pagewend::bench
