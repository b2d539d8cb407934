#include "shell/shell_fixtures.h"

#include <QBuffer>
#include <QImage>

#include <fmt/format.h>

#include <algorithm>

#include "package/package_writer.h"
#include "swf/swf_writer.h"

namespace pagewend::shell::testing {

void WriteBookPackage(const std::filesystem::path& out, const std::string& title, std::string movie,
                      const std::string& projectExtra) {
  if (movie.empty()) {
    swf::SwfWriter blank(10, {0, 100 * 20, 0, 100 * 20}, 24);
    blank.ShowFrame();
    movie = blank.Finish();
  }
  package::PackageWriter writer(out);
  const package::RecordRef start = writer.AddRecord(movie);
  writer.Finish(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><book><Chapters><chapter><Pages><page/></Pages></chapter>"
      "</Chapters></book>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>" + title + "</exetitle>" + projectExtra +
          "<preloader><filename>start.swf</filename><pos_>" + std::to_string(start.pos) + "</pos_><size_>" +
          std::to_string(start.size) + "</size_></preloader></project>");
}

QColor PageColour(int page) { return QColor::fromHsv((page * 47) % 360, 200, 220); }

void WritePagedBook(const std::filesystem::path& out, int pages, bool withMovie, std::string movie) {
  package::PackageWriter writer(out);
  std::string project = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>Paged book</exetitle>";
  if (withMovie) {
    if (movie.empty()) {
      swf::SwfWriter blank(10, {0, 100 * 20, 0, 100 * 20}, 24);
      blank.ShowFrame();
      movie = blank.Finish();
    }
    const package::RecordRef start = writer.AddRecord(movie);
    project += "<preloader><filename>start.swf</filename><pos_>" + std::to_string(start.pos) +
               "</pos_><size_>" + std::to_string(start.size) + "</size_></preloader>";
  }
  std::string book =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><book pagewidth=\"600\" pageheight=\"800\">"
      "<bookmarks><bookmark title=\"Middle\" page=\"4\"/></bookmarks><Chapters><chapter><Pages>";
  for (int i = 0; i < pages; ++i) {
    QImage image(60, 80, QImage::Format_RGB32);
    image.fill(PageColour(i));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const package::RecordRef ref = writer.AddRecord(png.toStdString());
    std::string search;
    if (i == 6) {
      const package::RecordRef text =
          writer.AddRecord(std::string("Die Br\xC3\xBC"
                                       "cke am Flu\xC3\x9F"));
      search = fmt::format(R"( searchtxt="res\other\s7.txt" pos_search_="{}" size_search_="{}")", text.pos,
                           text.size);
    }
    book += fmt::format(
        R"(<page{3}><elem><img src="res\pages\p{0}.png" left="0" top="0" width="600" height="800" pos_="{1}" )"
        R"(size_="{2}"/>)",
        i + 1, ref.pos, ref.size, search);
    if (i == 2) book += R"(<txt content="BR&#xDC;CKE" left="20" top="740" width="200" height="40"/>)";
    if (i == 0)
      book +=
          R"(<area left="0" top="0" width="100" height="100" linktype="page" page="5"/>)"
          R"(<area left="500" top="0" width="100" height="100" linktype="url" url="https://example.org/"/>)";
    book += "</elem></page>";
  }
  writer.Finish(book + "</Pages></chapter></Chapters></book>", project + "</project>");
}

std::string CallingMovie() {
  swf::SwfWriter writer(10, {0, 400 * 20, 0, 300 * 20}, 24);
  writer.SetBackgroundColor({0xFF, 0xFF, 0xFF});
  writer.DefineRectangle(1, {0, 200 * 20, 0, 100 * 20}, {0x33, 0x66, 0xCC});
  writer.PlaceObject(1, 1, 100 * 20, 100 * 20);
  swf::SwfActions actions;
  actions.CallExternal("fullscreen_error");
  // ExternalInterface.call("nothing_defines_this", 42, true, "<&\"")
  actions.PushString("<&\"").PushBool(true).PushInt(42).PushString("nothing_defines_this").PushInt(4);
  actions.PushString("flash").GetVariable().PushString("external").GetMember();
  actions.PushString("ExternalInterface").GetMember().PushString("call").CallMethod().Pop();
  actions.Stop();
  writer.DoAction(actions);
  writer.ShowFrame();
  return writer.Finish();
}

std::string LinkingMovie() {
  swf::SwfWriter writer(10, {0, 400 * 20, 0, 300 * 20}, 24);
  writer.DefineRectangle(1, {0, 200 * 20, 0, 300 * 20}, {0x33, 0x66, 0xCC});
  swf::SwfActions web;
  web.GetUrl("https://example.org/new-window", "_blank");
  for (const char* target : {"", "_self", "_top", "_blank", "_parent", "name"})
    web.GetUrl(std::string("javascript:window.open('https://example.org/script-ran-") + target + "')",
               target);
  web.GetUrl("file:///etc/passwd", "_blank");
  web.GetUrl("https://example.org/second-of-one-click", "_blank");
  web.CallExternal("links_done");
  writer.DefineButton(2, 1, web);
  swf::SwfActions mail;
  mail.GetUrl("mailto:someone@example.org?attach=/etc/passwd&subject=Hello", "");
  mail.CallExternal("mail_done");
  writer.DefineButton(3, 1, mail);
  writer.PlaceObject(1, 2);
  writer.PlaceObject(2, 3, 200 * 20, 0);
  swf::SwfActions unasked;
  unasked.GetUrl("https://example.org/unasked-same-window", "_self");
  unasked.GetUrl("https://example.org/unasked", "_blank");
  unasked.CallExternal("links_ready");
  unasked.Stop();
  writer.DoAction(unasked);
  writer.ShowFrame();
  return writer.Finish();
}

QString Request(const QString& name, const QString& arguments) {
  return QStringLiteral("<invoke name=\"%1\" returntype=\"xml\"><arguments>%2</arguments></invoke>")
      .arg(name, arguments);
}

void WriteBookWithFiles(const std::filesystem::path& out, const std::string& startMovie,
                        const std::vector<std::pair<std::string, std::string>>& files,
                        const std::string& bookXmlExtra) {
  package::PackageWriter writer(out);
  const package::RecordRef start = writer.AddRecord(startMovie);
  std::string elements;
  for (const auto& [name, bytes] : files) {
    const package::RecordRef ref = writer.AddRecord(bytes);
    std::string src = name;
    std::replace(src.begin(), src.end(), '/', '\\');
    elements += fmt::format(R"(<snd src="{}" left="0" top="0" width="1" height="1" pos_="{}" size_="{}"/>)",
                            src, ref.pos, ref.size);
  }
  writer.Finish("<?xml version=\"1.0\" encoding=\"UTF-8\"?><book>" + bookXmlExtra +
                    "<Chapters><chapter><Pages><page><elem>" + elements +
                    "</elem></page></Pages></chapter></Chapters></book>",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>Book with files</exetitle>"
                "<preloader><filename>start.swf</filename><pos_>" +
                    std::to_string(start.pos) + "</pos_><size_>" + std::to_string(start.size) +
                    "</size_></preloader></project>");
}

std::string LoadingMovie() {
  using swf::SwfActions;
  // Pushes a dotted path's value: its first name is a variable, the others members.
  const auto push = [](SwfActions& actions, std::string_view dotted) -> SwfActions& {
    for (std::size_t start = 0;;) {
      const std::size_t dot = dotted.find('.', start);
      actions.PushString(dotted.substr(start, dot == std::string_view::npos ? dot : dot - start));
      if (start == 0)
        actions.GetVariable();
      else
        actions.GetMember();
      if (dot == std::string_view::npos) return actions;
      start = dot + 1;
    }
  };
  const auto value = [&push](std::string_view dotted) {
    SwfActions actions;
    return push(actions, dotted);
  };
  const auto failed = [](std::string_view file) {
    return SwfActions().CallExternal("pagewend_as2",
                                     {SwfActions().PushString("failed"), SwfActions().PushString(file)});
  };
  // object.method(argument), its result dropped.
  const auto call = [&push](SwfActions& actions, std::string_view object, std::string_view method,
                            std::string_view argument) {
    actions.PushString(argument).PushInt(1);
    push(actions, object).PushString(method).CallMethod().Pop();
  };

  SwfActions frame;
  for (const auto& [clip, depth] : {std::pair{"pic", 1}, {"vars", 2}}) {
    frame.PushInt(depth).PushString(clip).PushInt(2);
    push(frame, "_root").PushString("createEmptyMovieClip").CallMethod().Pop();
  }
  frame.PushString("pic.jpg").PushString("pic").GetUrl2(SwfActions::UrlLoad::Clip);
  frame.PushString("vars.txt").PushString("vars").GetUrl2(SwfActions::UrlLoad::ClipVariables);

  push(frame, "_root").PushString("lv").PushInt(0).PushString("LoadVars").NewObject().SetMember();
  SwfActions varsLoaded;
  varsLoaded.PushString("ok").GetVariable().Not().IfElse(failed("vars.txt"));
  push(frame, "_root.lv").PushString("onLoad").DefineFunction({"ok"}, varsLoaded).SetMember();
  call(frame, "_root.lv", "load", "vars.txt");

  push(frame, "_root").PushString("xml").PushInt(0).PushString("XML").NewObject().SetMember();
  push(frame, "_root.xml").PushString("ignoreWhite").PushBool(true).SetMember();
  SwfActions firstName;
  push(push(firstName, "_root").PushString("item"), "this.firstChild.firstChild.attributes.name").SetMember();
  SwfActions xmlLoaded;
  xmlLoaded.PushString("ok").GetVariable().IfElse(firstName, failed("data\\list.xml"));
  push(frame, "_root.xml").PushString("onLoad").DefineFunction({"ok"}, xmlLoaded).SetMember();
  call(frame, "_root.xml", "load", "data\\list.xml");

  // Each frame until everything has arrived; the picture's width stays 0 until it has.
  SwfActions poll;
  push(poll, "_root").PushString("onEnterFrame").PushUndefined().SetMember();
  poll.CallExternal("pagewend_as2", {value("_root.lv.greeting"), value("_root.vars.count"),
                                     value("_root.item"), value("_root.pic._width")});
  for (const char* awaited : {"_root.pic._width", "_root.item", "_root.vars.count", "_root.lv.greeting"}) {
    SwfActions check;
    push(check, awaited);
    if (std::string_view(awaited).ends_with("_width"))
      check.PushInt(0);
    else
      check.PushUndefined();
    check.Equals().Not().IfElse(poll);
    poll = check;
  }
  push(frame, "_root").PushString("onEnterFrame").DefineFunction({}, poll).SetMember();
  frame.Stop();

  swf::SwfWriter writer(8, {0, 400 * 20, 0, 300 * 20}, 24);
  writer.SetBackgroundColor({0xFF, 0xFF, 0xFF});
  writer.DoAction(frame);
  writer.ShowFrame();
  return writer.Finish();
}

}  // namespace pagewend::shell::testing
