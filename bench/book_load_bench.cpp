// Loading and saving a large book next to pugixml's bare parse and serialisation of the same
// document, so the model's own cost can be read off in one run.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <malloc.h>
#include <pugixml.hpp>

#include <memory>
#include <string>

#include "model/book/m_book.h"
#include "model/xml_source.h"

namespace {

using namespace pagewend::model::book;
using pagewend::model::LoadOptions;

constexpr int kPages = 10000;

struct StringWriter final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

// A document as the model saves it, with every attribute written: an image, a text and a link
// on every page.
const std::string& BookDocument() {
  static const std::string text = [] {
    TMBook book;
    book.SetString("title", "Benchmark book");
    TMPages& pages = book.Chapters().AddNew().Pages();
    for (int i = 0; i < kPages; ++i) {
      const auto n = static_cast<std::uint32_t>(i);
      TMPage& page = pages.AddNew();
      page.set_pagethumb(fmt::format("res/thumbnails/thumb_{}.png", i));
      page.SetUInt32("pos_print_", 1000 + n * 64);

      auto& image = static_cast<TMImg&>(page.elem().Items(page.elem().Add(std::make_unique<TMImg>())));
      image.set_src(fmt::format("res/pages/page_{}.jpg", i));
      image.SetInt32("width", 800);
      image.SetInt32("height", 600);
      image.SetUInt32("pos_", 5000 + n * 64);
      image.SetUInt32("size_", 123456);

      auto& txt = page.elem().Items(page.elem().Add(std::make_unique<TMTxt>()));
      txt.SetString("content", fmt::format("Caption of page {}", i));
      txt.SetFloat("scaleX", 0.75);

      TMLink& link = page.links().AddNew();
      link.SetInt32("width", 100);
      link.SetInt32("height", 20);
      link.urls().AddNew().SetString("src", fmt::format("http://example.com/{}", i));
    }
    return book.SaveToString();
  }();
  return text;
}

LoadOptions Options() {
  LoadOptions options;
  options.settings.decimalSeparator = ',';
  return options;
}

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& text = BookDocument();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// The shared loader the model uses: the bare parse plus the encoding and depth checks.
void BM_LoadXmlDocument(benchmark::State& state) {
  const std::string& text = BookDocument();
  for (auto _ : state) benchmark::DoNotOptimize(pagewend::model::LoadXmlDocument(text));
}

// The model's load alone: the book of the previous round is freed, and the allocator's
// deferred work for it done, outside the timing, as a player loads one book into a fresh heap.
void BM_BookLoad(benchmark::State& state) {
  const std::string& text = BookDocument();
  const LoadOptions options = Options();
  std::size_t modelBytes = 0;
  for (auto _ : state) {
    const std::size_t before = mallinfo2().uordblks;
    auto book = std::make_unique<TMBook>();
    book->LoadFromStream(text, options);
    benchmark::DoNotOptimize(book->Chapters().Items(0).Pages().Count());
    state.PauseTiming();
    // What the loaded book holds once its parse tree is gone: the memory a page costs a run.
    modelBytes = mallinfo2().uordblks - before;
    book.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.counters["model_bytes_per_page"] = static_cast<double>(modelBytes) / kPages;
}

// Load and free together, the cost a program pays that loads books over and over.
void BM_BookLoadAndFree(benchmark::State& state) {
  const std::string& text = BookDocument();
  const LoadOptions options = Options();
  for (auto _ : state) {
    TMBook book;
    book.LoadFromStream(text, options);
    benchmark::DoNotOptimize(book.Chapters().Items(0).Pages().Count());
  }
}

void BM_PugixmlSave(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_string(BookDocument().c_str());
  for (auto _ : state) {
    StringWriter writer;
    doc.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    benchmark::DoNotOptimize(writer.text.data());
  }
}

void BM_BookSave(benchmark::State& state) {
  TMBook book;
  book.LoadFromStream(BookDocument(), Options());
  for (auto _ : state) {
    std::string text = book.SaveToString();
    benchmark::DoNotOptimize(text.data());
  }
}

BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXmlDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookLoadAndFree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookSave)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
