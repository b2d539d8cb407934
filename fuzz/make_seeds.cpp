// Writes the seed corpora of the fuzz targets, one folder per target below the given folder,
// all made by the project's own writers: packages by PackageWriter, movies by the tests' MakeSwf,
// archives by libarchive, and small settings documents.
#include <archive.h>
#include <archive_entry.h>
#include <fmt/format.h>

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_writer.h"
#include "testing/jpeg_bytes.h"
#include "testing/swf_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace pagewend;
using package::PackageWriter;
using package::RecordRef;

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Png(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(0xFF336699);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string Ref(const char* element, RecordRef ref) {
  return fmt::format("<pos_{0}>{1}</pos_{0}><size_{0}>{2}</size_{0}>", element, ref.pos, ref.size);
}

std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries,
                const char* symlinkName = nullptr) {
  std::string out;
  std::unique_ptr<archive, int (*)(archive*)> a(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(a.get());
  archive_write_open(
      a.get(), &out, nullptr,
      [](archive*, void* user, const void* data, std::size_t size) -> la_ssize_t {
        static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
        return static_cast<la_ssize_t>(size);
      },
      nullptr);
  for (const auto& [name, data] : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    const bool folder = !name.empty() && name.back() == '/';
    archive_entry_set_filetype(e, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, folder ? 0 : static_cast<la_int64_t>(data.size()));
    archive_write_header(a.get(), e);
    if (!folder) archive_write_data(a.get(), data.data(), data.size());
    archive_entry_free(e);
  }
  if (symlinkName) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, symlinkName);
    archive_entry_set_filetype(e, AE_IFLNK);
    archive_entry_set_symlink(e, "/etc");
    archive_entry_set_perm(e, 0777);
    archive_write_header(a.get(), e);
    archive_entry_free(e);
  }
  archive_write_close(a.get());
  return out;
}

// A package with every kind of record the documents name; the book document in either of its
// two spellings (properties as elements or as attributes).
std::string FullPackage(const fs::path& scratch, bool attributes, std::string_view buttonNames,
                        const std::string& pageImage = Png(8, 6)) {
  const fs::path path = scratch / "package";
  {
    PackageWriter writer(path);
    const std::string png = Png(8, 6);
    const RecordRef background = writer.AddRecord(png);
    const RecordRef buttons =
        writer.AddGroup({{0, png}, {3, std::string("next")}, {18, std::string("search")}}, buttonNames);
    const RecordRef bar = writer.AddGroup({{0, png}, {1, png}}, "[info]\nname=bar\n");
    const RecordRef preloader = writer.AddRecord(testing::MakeSwf({0, 8000, 0, 6000}, 24 << 8, 1, true));
    const RecordRef framework = writer.AddRecord(testing::MakeSwf({0, 20, 0, 20}, 12 << 8, 2, false));
    const RecordRef langs = writer.AddRecord(Zip({{"en/", ""}, {"en/lang.xml", "<lang/>"}}));
    const RecordRef page = writer.AddRecord(pageImage);
    const RecordRef sound = writer.AddRecord(std::string("ID3"));
    const std::string project =
        "<project><exetitle>Seed</exetitle><pagewidth>80</pagewidth><pageheight>60</pageheight>"
        "<background><filename>bg.png</filename>" +
        Ref("", background) +
        "</background>"
        "<navbtn><download>True</download>" +
        Ref("", buttons) +
        "</navbtn>"
        "<navbar><topfile>top.png</topfile><bottomfile>bottom.png</bottomfile>" +
        Ref("", bar) +
        "</navbar>"
        "<preloader><filename>pre.swf</filename>" +
        Ref("", preloader) +
        "</preloader>"
        "<logo><filename>logo.PNG</filename>" +
        Ref("", background) + "</logo>" + Ref("bookinfo_", framework) + "</project>";
    std::string book;
    if (attributes) {
      book = fmt::format(
          "<book pagewidth=\"80\" pageheight=\"60\" thumbscale=\"0.5\" pos_langs_=\"{}\" size_langs_=\"{}\">"
          "<Chapters><chapter bgsound=\"bg.mp3\" pos_=\"{}\" size_=\"{}\"><Pages>"
          "<page mobilefile1=\"m.png\" photoviewthumb=\"t.png\" mobilefile2=\"res/pages/p1.png\" "
          "pos_mobilefile2=\"{}\" "
          "size_mobilefile2=\"{}\">"
          "<img src=\"res/pages/p1.png\" left=\"0\" top=\"0\" width=\"80\" height=\"60\" pos_=\"{}\" "
          "size_=\"{}\"/>"
          "</page></Pages></chapter></Chapters></book>",
          langs.pos, langs.size, sound.pos, sound.size, page.pos, page.size, page.pos, page.size);
    } else {
      book = "<book><pagewidth>80</pagewidth><pageheight>60</pageheight><thumbscale>0.5</thumbscale>" +
             Ref("langs_", langs) + "<Chapters><chapter><bgsound>bg.mp3</bgsound>" + Ref("", sound) +
             "<Pages><page><mobilefile1>m.png</mobilefile1><photoviewthumb>t.png</"
             "photoviewthumb><mobilefile2>res/pages/p1.png</mobilefile2>" +
             Ref("mobilefile2", page) + "<img><src>res/pages/p1.png</src>" + Ref("", page) +
             "</img></page></Pages></chapter></Chapters></book>";
    }
    writer.Finish(book, project);
  }
  return Read(path);
}

std::string BarePackage(const fs::path& scratch, const std::string& book, const std::string& project) {
  const fs::path path = scratch / "bare";
  {
    PackageWriter writer(path);
    writer.Finish(book, project);
  }
  return Read(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path scratch = out / ".scratch";
  fs::create_directories(scratch);

  const std::string names = "[info]\nfirstpage=first.png\nnext=next.png\nsearch=search.png\n";
  const std::string full = FullPackage(scratch, false, names);
  const std::string fullAttributes = FullPackage(scratch, true, names);
  const std::string climbing =
      FullPackage(scratch, true, "[info]\nfirstpage=../first.png\nnext=..\\next.png\nsearch=/search.png\n");
  const std::string bare = BarePackage(scratch, "<book/>", "<project/>");

  // Page images: a JPEG of each colour model, and the hostile ones the decoder's limits stop (a
  // tiny progressive CMYK file claiming 16384 x 16384, one of 3000 scans).
  const std::map<std::string, std::string> images = [] {
    std::map<std::string, std::string> made;
    for (const int components : {1, 3, 4}) {
      auto picture = testing::PatternPicture(24, 16, components);
      made[fmt::format("baseline{}", components)] = testing::CompressJpeg(picture);
      picture.progressive = true;
      made[fmt::format("progressive{}", components)] = testing::CompressJpeg(picture);
    }
    auto ycck = testing::PatternPicture(16, 24, 4);
    ycck.ycck = true;
    made["ycck"] = testing::CompressJpeg(ycck);
    made["claims_16384"] = testing::ClaimingSize(made["progressive4"], 16384, 16384);
    // Flat, so that each repeated scan is a few bytes and the file stays within the fuzzer's length.
    auto flat = testing::PatternPicture(24, 16, 1, /*flat=*/true);
    flat.progressive = true;
    made["scans_3000"] = testing::WithScans(testing::CompressJpeg(flat), 3000);
    made["png"] = Png(8, 6);
    return made;
  }();
  for (const auto& [name, bytes] : images) Write(out / "page_images_fuzz" / name, bytes);
  for (const char* target : {"package_reader_fuzz", "extraction_fuzz"}) {
    Write(out / target / "full", full);
    Write(out / target / "full_attributes", fullAttributes);
    Write(out / target / "climbing_names", climbing);
    Write(out / target / "bare", bare);
    Write(out / target / "stub", "MZ stub" + bare);
  }
  Write(out / "extraction_fuzz" / "hostile_page_image",
        FullPackage(scratch, true, names, images.at("claims_16384")));

  // A leading 'Z' asks the target to wrap the rest as a compressed movie.
  const std::string fws = testing::MakeSwf({0, 11000, 0, 8000}, 24 << 8, 3, false, "\x40\x00");
  const std::string cws = testing::MakeSwf({-20, 20, -40, 40}, 12 << 8, 1, true, std::string(100, '\0'));
  Write(out / "swf_reader_fuzz" / "fws", fws);
  Write(out / "swf_reader_fuzz" / "cws", cws);
  Write(out / "swf_reader_fuzz" / "cws_claims_4gib",
        testing::MakeSwf({0, 20, 0, 20}, 1, 1, true, "", 0xFFFFFFFFu));
  Write(out / "swf_reader_fuzz" / "wrapped", std::string("Z\x0a\x00\x00\x00\x00", 6) + fws.substr(8));

  const char* documents[] = {
      "<project/>",
      "<project "
      "swfwd=\"1024\"><dragspeed>0,5</dragspeed><slidedelay>1.5</slidedelay><exetitle>Book</exetitle></"
      "project>",
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?><project><title value=\"\xe9t\xe9\" bold=\"True\"/>"
      "<navbtn><usekey>False</usekey><download>True</download><pos_>12</pos_><size_>8</size_></navbtn></"
      "project>",
      "<project><background><filename>bg.jpg</filename><pos_>-1</pos_><size_>4294967295</size_></background>"
      "<navbar><topfile>t.png</topfile></navbar><pagination><size>9</size></pagination>"
      "<settings><quality>80</quality></settings><videoskincolor>4291611852</videoskincolor></project>",
      "\xEF\xBB\xBF<project><pagethickness>1e308</pagethickness><maxloaded>2147483648</maxloaded></project>",
  };
  int n = 0;
  for (const char* document : documents) Write(out / "settings_fuzz" / fmt::format("doc{}", n++), document);

  const char* books[] = {
      "<book/>",
      ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><book pagewidth=\"800\" pageheight=\"452\" "
       "thumbscale=\"0.25\" "
       "searchindex=\"s/index.txt\" pos_search_=\"10\" size_search_=\"20\"><background/><bookmarks/>"
       "<Chapters><chapter bgsound=\"s.mp3\" pos_=\"10\" size_=\"20\"><Pages>"
       "<page pagethumb=\"t.png\" pos_print_=\"7\" mobilefile2=\"m.jpg\" pos_mobilefile2=\"40\" "
       "size_mobilefile2=\"9\">"
       "<elem><img src=\"a.png\" url=\"u\" pos_=\"100\" size_=\"50\"/><txt content=\"Hi\"/>"
       "<img src=\"b.gif\"/><vid src=\"v.flv\" preview=\"p.jpg\" pos_pre_=\"1\"/></elem></page>"
       "<spreadpage isSimplePage=\"true\"/></Pages></chapter><chapter/></Chapters></book>"),
      ("<?xml version=\"1.0\" encoding=\"windows-1252\"?><book foldfx=\"0,5\" zoominit=\"1e308\" "
       "handcursor=\"tRuE\" bgcolor=\"4291611852\" title=\"\xe9\"/>"),
  };
  n = 0;
  for (const char* document : books) Write(out / "book_fuzz" / fmt::format("doc{}", n++), document);

  const char* requests[] = {
      "<invoke name=\"fullscreen\" returntype=\"xml\"><arguments></arguments></invoke>",
      ("<invoke name=\"fullscreen\" returntype=\"xml\"><arguments><string>a</string><number>1</number>"
       "<true/><string><![CDATA[x]]>y</string></arguments></invoke>"),
      "<invoke/>",
  };
  n = 0;
  for (const char* request : requests)
    Write(out / "flash_request_fuzz" / fmt::format("request{}", n++), request);

  const std::string zipDir = (out / "zip_extract_fuzz").string();
  Write(zipDir + "/plain", Zip({{"a/", ""}, {"a/b.txt", "hello"}, {"c.xml", "<lang/>"}}));
  Write(zipDir + "/climbing", Zip({{"../up.txt", "x"}, {"a\\..\\..\\up2.txt", "y"}, {"/abs.txt", "z"}}));
  Write(zipDir + "/symlink", Zip({{"ok.txt", "ok"}}, "link"));
  fs::remove_all(scratch);
  return 0;
}
