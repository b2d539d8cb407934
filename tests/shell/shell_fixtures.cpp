#include "shell/shell_fixtures.h"

#include "package/package_writer.h"
#include "swf/swf_writer.h"

namespace pagewend::shell::testing {

void WriteBookPackage(const std::filesystem::path& out, const std::string& title, std::string movie) {
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
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>" + title +
          "</exetitle><preloader><filename>start.swf</filename><pos_>" + std::to_string(start.pos) +
          "</pos_><size_>" + std::to_string(start.size) + "</size_></preloader></project>");
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
  swf::SwfActions actions;
  actions.GetUrl("https://example.org/new-window", "_blank");
  for (const char* target : {"", "_self", "_top", "_blank", "_parent", "name"})
    actions.GetUrl(std::string("javascript:window.open('https://example.org/script-ran-") + target + "')",
                   target);
  actions.GetUrl("file:///etc/passwd", "_blank");
  actions.GetUrl("https://example.org/same-window", "_self");
  actions.CallExternal("links_done");
  actions.Stop();
  writer.DoAction(actions);
  writer.ShowFrame();
  return writer.Finish();
}

QString Request(const QString& name, const QString& arguments) {
  return QStringLiteral("<invoke name=\"%1\" returntype=\"xml\"><arguments>%2</arguments></invoke>")
      .arg(name, arguments);
}

}  // namespace pagewend::shell::testing
