// A whole extraction of arbitrary bytes: the package opened as a book and every file of it
// written into a scratch working folder, with nobody listening. Every run checks that nothing
// was written outside the working folder.
#include <cstdint>
#include <exception>
#include <string>

#include "book/book_opener.h"
#include "fuzz_support.h"

namespace {

class QuietListener final : public pagewend::book::BookListener {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const pagewend::book::UnpackedBook&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagewend;
  static fuzz::Scratch scratch("pagewend-extraction-fuzz");
  static fuzz::MemoryFile input;
  input.Assign(data, size);
  const RunFolder paths = RunFolder::At(scratch.Work() / "run");
  paths.Create();
  QuietListener listener;
  SilentNotifier notifier;
  book::OpenerOptions options;
  options.jobs = 1;
  try {
    book::BookOpener opener(listener, notifier, paths, nullptr, options);
    opener.Open(input.Path());
    opener.SplitAll();
  } catch (const std::exception&) {
    // Every failure of a hostile book is an exception with a message; crashes, hangs, leaks and
    // writes outside the folder are what this target looks for.
  }
  scratch.CheckAndClear();
  return 0;
}
