#include "reading/search.h"

#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <fstream>

namespace pagewend::reading {

namespace {

// Windows-1252's letters and signs where Latin-1 has control characters; its five unassigned
// bytes read as the replacement character.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                           0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString Decode(std::string_view bytes, bool cut) {
  const auto view = [](std::string_view b) {
    return QByteArrayView(b.data(), static_cast<qsizetype>(b.size()));
  };
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    QStringDecoder utf16(bytes[0] == '\xFF' ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return utf16(view(bytes.substr(2)));
  }
  // A text cut at the limit may end inside a character: that is no sign of another encoding.
  std::string_view whole = bytes;
  if (cut) {
    std::size_t back = 0;
    while (back < 3 && back < whole.size() &&
           (static_cast<unsigned char>(whole[whole.size() - 1 - back]) & 0xC0) == 0x80)
      ++back;
    if (back < whole.size() && static_cast<unsigned char>(whole[whole.size() - 1 - back]) >= 0xC0)
      whole.remove_suffix(back + 1);
  }
  QStringDecoder utf8(QStringConverter::Utf8);
  QString text = utf8(view(whole));
  if (!utf8.hasError()) return text;
  text.clear();
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte});
  }
  return text;
}

// Text as it is compared: compatibility forms taken apart, accents dropped, case folded, white
// space collapsed.
std::string Fold(const QString& text) {
  const QString apart = text.normalized(QString::NormalizationForm_KD);
  QString kept;
  kept.reserve(apart.size());
  bool space = false;
  for (const QChar c : apart) {
    if (c.category() == QChar::Mark_NonSpacing) continue;
    if (c.isSpace() || c.isNull()) {
      space = !kept.isEmpty();
      continue;
    }
    if (space) kept += QLatin1Char(' ');
    space = false;
    kept += c;
  }
  return kept.toCaseFolded().toStdString();
}

std::string ReadSearchText(const std::filesystem::path& file) {
  if (file.empty()) return {};
  std::ifstream in(file, std::ios::binary);
  std::string bytes(kMaxPageSearchBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  const bool cut = bytes.size() > kMaxPageSearchBytes;
  if (cut) bytes.resize(kMaxPageSearchBytes);
  return Fold(Decode(bytes, cut));
}

}  // namespace

std::string DecodeSearchText(std::string_view bytes, bool cut) { return Decode(bytes, cut).toStdString(); }

BookSearch::BookSearch(const Book& book) {
  folded_.reserve(book.pages.size());
  for (const Page& page : book.pages) {
    std::string text = ReadSearchText(page.searchText);
    for (const PagePart& part : page.parts) {
      if (part.kind != PagePart::Kind::Text) continue;
      const std::string shown = Fold(QString::fromStdString(part.text));
      if (shown.empty()) continue;
      // Apart, so that the last word of one text and the first of the next never run together.
      if (!text.empty()) text += ' ';
      text += shown;
    }
    if (!text.empty()) empty_ = false;
    folded_.push_back(std::move(text));
  }
}

std::vector<int> BookSearch::PagesMatching(std::string_view query) const {
  const std::string wanted = Fold(QString::fromUtf8(query.data(), static_cast<qsizetype>(query.size())));
  std::vector<int> pages;
  if (wanted.empty()) return pages;
  for (std::size_t i = 0; i < folded_.size(); ++i)
    if (folded_[i].find(wanted) != std::string::npos) pages.push_back(static_cast<int>(i));
  return pages;
}

}  // namespace pagewend::reading
