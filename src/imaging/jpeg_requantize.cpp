#include "imaging/jpeg_requantize.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

namespace pagewend::imaging {
namespace {

struct Failure {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// libjpeg is left by longjmp from here: the frame it jumps over holds only trivial locals.
[[noreturn]] void Fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Failure*>(cinfo->err)->jump, 1); }
void Quiet(j_common_ptr, int) {}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Everything libjpeg holds, released however the work ends.
struct Work {
  Failure srcError{};
  Failure dstError{};
  Failure refError{};
  jpeg_decompress_struct src{};
  jpeg_compress_struct dst{};
  jpeg_compress_struct reference{};
  bool srcMade = false;
  bool dstMade = false;
  bool referenceMade = false;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  ~Work() {
    if (srcMade) jpeg_destroy_decompress(&src);
    if (dstMade) jpeg_destroy_compress(&dst);
    if (referenceMade) jpeg_destroy_compress(&reference);
    std::free(buffer);
  }
};

// The steps of libjpeg's standard tables at quality: 0 luminance, 1 chrominance.
bool StandardTables(Work& w, int quality) {
  w.reference.err = jpeg_std_error(&w.refError.pub);
  w.refError.pub.error_exit = Fail;
  w.refError.pub.emit_message = Quiet;
  if (setjmp(w.refError.jump)) return false;
  jpeg_create_compress(&w.reference);
  w.referenceMade = true;
  w.reference.in_color_space = JCS_YCbCr;
  w.reference.input_components = 3;
  jpeg_set_defaults(&w.reference);
  jpeg_set_quality(&w.reference, quality, TRUE);
  return true;
}

bool Transcode(Work& w, std::FILE* in, std::size_t maxCoefficientBytes) {
  w.src.err = jpeg_std_error(&w.srcError.pub);
  w.srcError.pub.error_exit = Fail;
  w.srcError.pub.emit_message = Quiet;
  w.dst.err = jpeg_std_error(&w.dstError.pub);
  w.dstError.pub.error_exit = Fail;
  w.dstError.pub.emit_message = Quiet;
  if (setjmp(w.srcError.jump)) return false;
  if (setjmp(w.dstError.jump)) return false;
  jpeg_create_decompress(&w.src);
  w.srcMade = true;
  jpeg_stdio_src(&w.src, in);
  jpeg_save_markers(&w.src, JPEG_APP0 + 2, 0xFFFF);
  if (jpeg_read_header(&w.src, TRUE) != JPEG_HEADER_OK) return false;
  if (w.src.progressive_mode || jpeg_has_multiple_scans(&w.src)) return false;
  if (w.src.jpeg_color_space != JCS_YCbCr && w.src.jpeg_color_space != JCS_GRAYSCALE) return false;
  // The coefficients of the whole image, which libjpeg holds at once, from the header's sizes.
  std::size_t coefficients = 0;
  for (int c = 0; c < w.src.num_components; ++c) {
    const jpeg_component_info& info = w.src.comp_info[c];
    const std::size_t across =
        (std::size_t{w.src.image_width} * static_cast<std::size_t>(info.h_samp_factor) +
         8 * static_cast<std::size_t>(w.src.max_h_samp_factor) - 1) /
        (8 * static_cast<std::size_t>(w.src.max_h_samp_factor));
    const std::size_t down = (std::size_t{w.src.image_height} * static_cast<std::size_t>(info.v_samp_factor) +
                              8 * static_cast<std::size_t>(w.src.max_v_samp_factor) - 1) /
                             (8 * static_cast<std::size_t>(w.src.max_v_samp_factor));
    coefficients += (across + 2) * (down + 2) * sizeof(JBLOCK);
  }
  if (coefficients > maxCoefficientBytes) return false;
  w.src.mem->max_memory_to_use = static_cast<long>(maxCoefficientBytes + (8 << 20));
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&w.src);
  if (arrays == nullptr) return false;

  jpeg_create_compress(&w.dst);
  w.dstMade = true;
  jpeg_mem_dest(&w.dst, &w.buffer, &w.size);
  jpeg_copy_critical_parameters(&w.src, &w.dst);
  // The standard Huffman tables: optimal ones take a second pass over every coefficient, which
  // made a whole export a third slower for a web book a seventh smaller.
  w.dst.optimize_coding = FALSE;
  // Each table the components use, coarsened: the luminance table where the first component
  // uses it, the chrominance one elsewhere.
  for (int c = 0; c < w.src.num_components; ++c) {
    const int slot = w.src.comp_info[c].quant_tbl_no;
    const JQUANT_TBL* from = w.src.quant_tbl_ptrs[slot];
    JQUANT_TBL* to = w.dst.quant_tbl_ptrs[slot];
    if (from == nullptr || to == nullptr) return false;
    const JQUANT_TBL* standard = w.reference.quant_tbl_ptrs[c == 0 ? 0 : 1];
    bool first = true;
    for (int earlier = 0; earlier < c; ++earlier)
      first = first && w.src.comp_info[earlier].quant_tbl_no != slot;
    if (!first) continue;
    for (int k = 0; k < DCTSIZE2; ++k) {
      const UINT16 step = std::max(from->quantval[k], standard->quantval[k]);
      to->quantval[k] = step == 0 ? 1 : step;
    }
  }
  for (int c = 0; c < w.src.num_components; ++c) {
    jpeg_component_info& info = w.src.comp_info[c];
    const JQUANT_TBL* from = w.src.quant_tbl_ptrs[info.quant_tbl_no];
    const JQUANT_TBL* to = w.dst.quant_tbl_ptrs[info.quant_tbl_no];
    // Each coefficient times old step / new step (at most 1), in 16.16 fixed point and rounded
    // to the nearest: a loop without division or branches over every block.
    std::uint32_t ratio[DCTSIZE2];
    bool changed = false;
    for (int k = 0; k < DCTSIZE2; ++k) {
      ratio[k] = (std::uint32_t{from->quantval[k]} * 65536 + to->quantval[k] / 2u) / to->quantval[k];
      changed = changed || from->quantval[k] != to->quantval[k];
    }
    if (!changed) continue;
    for (JDIMENSION row = 0; row < info.height_in_blocks; ++row) {
      JBLOCKARRAY blocks =
          (*w.src.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&w.src), arrays[c], row, 1, TRUE);
      for (JDIMENSION column = 0; column < info.width_in_blocks; ++column) {
        JCOEF* block = blocks[0][column];
        for (int k = 0; k < DCTSIZE2; ++k) {
          const int value = block[k];
          const std::uint32_t magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
          const int scaled = static_cast<int>((magnitude * ratio[k] + 32768u) >> 16);
          block[k] = static_cast<JCOEF>(value < 0 ? -scaled : scaled);
        }
      }
    }
  }
  jpeg_write_coefficients(&w.dst, arrays);
  for (jpeg_saved_marker_ptr marker = w.src.marker_list; marker != nullptr; marker = marker->next)
    jpeg_write_marker(&w.dst, marker->marker, marker->data, marker->data_length);
  jpeg_finish_compress(&w.dst);
  jpeg_finish_decompress(&w.src);
  return true;
}

}  // namespace

std::string RequantizeJpeg(const std::filesystem::path& source, int quality,
                           std::size_t maxCoefficientBytes) {
  const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(source.c_str(), "rbe"));
  if (!in) return {};
  Work work;
  if (!StandardTables(work, quality) || !Transcode(work, in.get(), maxCoefficientBytes)) return {};
  return {reinterpret_cast<const char*>(work.buffer), work.size};
}

}  // namespace pagewend::imaging
