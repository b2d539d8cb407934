#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "package/package_writer.h"
#include "support/text.h"
#include "testing/book_package.h"
#include "testing/run_tool.h"
#include "testing/swf_bytes.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

using ::testing::HasSubstr;
using testing::RunTool;

TEST(Tool, HelpVersionAndUsageErrorsHaveTheirExitCodes) {
  auto help = RunTool({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, HasSubstr("swf"));
  EXPECT_THAT(help.out, HasSubstr("locate"));
  EXPECT_EQ(RunTool({"swf", "--help"}).exitCode, 0);
  auto version = RunTool({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_THAT(version.out, HasSubstr("pagewend " PAGEWEND_VERSION));
  auto none = RunTool({});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_EQ(none.err, "pagewend: a command is required. See 'pagewend --help'.\n");
  auto unknown = RunTool({"no-such-command"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err, "pagewend: 'no-such-command' is not a pagewend command. See 'pagewend --help'.\n");
  EXPECT_EQ(RunTool({"swf"}).exitCode, 2);
  EXPECT_EQ(RunTool({"swf", "a.swf", "--bogus"}).exitCode, 2);
  // "help" is a way to ask too.
  auto helpCommand = RunTool({"help", "extract"});
  EXPECT_EQ(helpCommand.exitCode, 0);
  EXPECT_THAT(helpCommand.out, HasSubstr("Usage: pagewend extract"));
  EXPECT_EQ(RunTool({"help"}).out, help.out);

  // Output that cannot be written is a failure that says so.
  testing::TempDir dir;
  testing::WriteRichBook(dir / "book.exe");
  const std::string full = std::string(PAGEWEND_TOOL_PATH) + " info " + (dir / "book.exe").string() +
                           " > /dev/full 2> " + (dir / "err").string();
  const int status = std::system(full.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_THAT(testing::ReadFile(dir / "err"), HasSubstr("cannot write the output"));
}

TEST(Tool, SwfPrintsTheHeaderAndNamesTheFileOnFailure) {
  testing::TempDir dir;
  testing::WriteFile(dir / "m.swf", testing::MakeSwf({0, 16000, 0, 9040}, 0x1800, 12, true));
  auto json = RunTool({"swf", (dir / "m.swf").string(), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["signature"], "CWS");
  EXPECT_EQ(parsed["width"], 800);
  EXPECT_EQ(parsed["height"], 452);
  EXPECT_EQ(parsed["format"], 1);
  EXPECT_EQ(parsed["rect"]["x_max"], 16000);
  EXPECT_EQ(parsed["frame_rate"], 24.0);
  EXPECT_EQ(parsed["frame_count"], 12);
  auto text = RunTool({"swf", (dir / "m.swf").string()});
  EXPECT_THAT(text.out, HasSubstr("800 x 452 pixels"));

  // An uncompressed movie cut short says so.
  const std::string whole = testing::MakeSwf({0, 16000, 0, 9040}, 0x1800, 12, false, std::string(1000, '\0'));
  testing::WriteFile(dir / "cut.swf", whole.substr(0, 500));
  auto cut = RunTool({"swf", (dir / "cut.swf").string()});
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_THAT(cut.err, HasSubstr("cut short"));

  testing::WriteFile(dir / "bad.swf", "FWT whatever");
  auto bad = RunTool({"swf", (dir / "bad.swf").string()});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_THAT(bad.err, HasSubstr("bad.swf"));
  auto missing = RunTool({"swf", (dir / "none.swf").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("none.swf"));
  EXPECT_TRUE(missing.out.empty());
}

TEST(Tool, LocateFindsTheDocumentsOrSaysWhyNot) {
  testing::TempDir dir;
  testing::WriteFile(dir / "stub", "ELF-ish stub");
  {
    package::PackageWriter writer(dir / "book.exe", dir / "stub");
    writer.AddRecord(std::string("record"));
    writer.Finish("<book/>", "<project/>");
  }
  auto ok = RunTool({"locate", (dir / "book.exe").string(), "--json"});
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  const auto parsed = nlohmann::json::parse(ok.out);
  EXPECT_EQ(parsed["book"]["length"], 7);
  EXPECT_EQ(parsed["project"]["length"], 10);

  testing::WriteFile(dir / "junk", std::string(64, '\xFF'));
  auto junk = RunTool({"locate", (dir / "junk").string()});
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_EQ(junk.err,
            "pagewend locate: " + (dir / "junk").string() + ": not a book (no package found at its end)\n");
}

TEST(Tool, JsonCarriesItsFormatAndSurvivesTextThatIsNotUtf8) {
  testing::TempDir dir;
  {
    package::PackageWriter writer(dir / "book.exe");
    writer.Finish(
        "<book/>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>a\xFF\xFEz</exetitle></project>");
  }
  for (const std::string command : {"info", "settings"}) {
    auto run = RunTool({command, (dir / "book.exe").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto parsed = nlohmann::ordered_json::parse(run.out);
    EXPECT_EQ(parsed.begin().key(), "format");
    EXPECT_THAT(run.out, HasSubstr("a\xEF\xBF\xBD\xEF\xBF\xBDz"));  // U+FFFD for each bad byte
  }
}

// Every command against what a user may hand it: the exit code says whether the work was done
// (0), failed (1) or the command line was wrong (2), and a failure is one or two lines on stderr
// that name the input once.
// The man page and the bash completion know every command and every long option the tool's own
// help lists; an unknown option is named as such, whatever else is missing.
TEST(Tool, TheManPageAndTheCompletionListEveryCommandAndOption) {
  const std::string man = testing::ReadFile(PAGEWEND_DIST_DIR "/pagewend.1");
  const std::string completion = testing::ReadFile(PAGEWEND_DIST_DIR "/pagewend.bash");
  const auto words = [](const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator();
         ++it)
      found.insert((*it)[1]);
    return found;
  };
  const std::string help = RunTool({"--help"}).out;
  const std::set<std::string> commands =
      words(help.substr(help.find("Subcommands:")), std::regex(R"(\n  ([a-z-]+) )"));
  ASSERT_GE(commands.size(), 8u) << help;
  std::string listed = completion.substr(completion.find("local commands="));
  listed = listed.substr(0, listed.find('\n'));
  std::replace(listed.begin(), listed.end(), '"', ' ');
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    EXPECT_THAT(listed, HasSubstr(" " + command + " ")) << "not completed";
    const std::string escaped = ReplaceAll(command, "-", "\\-");  // as roff writes a hyphen
    // The command's sections of the man page (export has one per format).
    std::string section;
    for (auto at = man.find(".SS \"" + escaped); at != std::string::npos;
         at = man.find(".SS \"" + escaped, at + 1))
      section += man.substr(at, man.find("\n.S", at + 1) - at);
    EXPECT_FALSE(section.empty()) << "no section in the man page";
    const auto cases = completion.find("\n    " + command + ")");
    const auto shared = completion.find(command + " |") == std::string::npos
                            ? completion.find("| " + command)
                            : completion.find(command + " |");
    const auto at = cases != std::string::npos ? cases : shared;
    ASSERT_NE(at, std::string::npos) << "no options in the completion";
    const std::string completed = completion.substr(at, completion.find('\n', at + 1) - at);
    const std::set<std::string> options =
        words(RunTool({command, "--help"}).out, std::regex(R"(\n +(?:-[a-zA-Z],)?(--[a-z-]+))"));
    EXPECT_TRUE(options.contains("--help"));
    for (const std::string& option : options) {
      EXPECT_THAT(completed, HasSubstr(option)) << "not completed";
      const std::string inMan = ReplaceAll(option, "-", "\\-");
      if (option != "--help") {
        EXPECT_THAT(section, HasSubstr(inMan)) << option << " not in the man page";
      }
    }
  }
  const auto unknown = RunTool({"extract", "--hlep"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err, "pagewend extract: unknown option --hlep. See 'pagewend extract --help'.\n");
}

TEST(Tool, EveryCommandAnswersEveryKindOfInputWithItsCodeAndANamedLine) {
  testing::TempDir dir;
  testing::WriteRichBook(dir / "good.exe");
  const std::string good = testing::ReadFile(dir / "good.exe");
  testing::WriteFile(dir / "cut.exe", good.substr(0, good.size() / 2));
  testing::WriteFile(dir / "empty", "");
  std::filesystem::copy_file(PAGEWEND_TOOL_PATH, dir / "program");
  testing::WriteFile(dir / "cut-program",
                     testing::ReadFile(dir / "program") + good.substr(0, good.size() / 2));
  testing::WriteFile(dir / "picture.png", testing::ImageBytes(8, 8, ".png"));
  std::filesystem::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::vector<std::string> inputs = {"missing",     "folder",  "fifo",        "empty",   "program",
                                           "picture.png", "cut.exe", "cut-program", "good.exe"};
  const std::vector<std::string> commands = {"extract", "info", "settings", "book-xml",
                                             "locate",  "swf",  "pack"};
  for (const std::string& command : commands) {
    const auto usage = RunTool({command});
    EXPECT_EQ(usage.exitCode, 2) << command;
    EXPECT_EQ(std::count(usage.err.begin(), usage.err.end(), '\n'), 1) << usage.err;
    for (const std::string& input : inputs) {
      const std::string path = (dir / input).string();
      std::vector<std::string> args = {command, path};
      if (command == "extract" || command == "pack")
        args.insert(args.end(), {"-o", (dir / ("out-" + input)).string()});
      const auto run = RunTool(args);
      // Only a good book is a book, and no book is a movie or a folder to pack.
      const bool works = input == "good.exe" && command != "swf" && command != "pack";
      EXPECT_EQ(run.exitCode, works ? 0 : 1) << command << ' ' << input << ": " << run.err;
      if (works) continue;
      const auto lines = std::count(run.err.begin(), run.err.end(), '\n');
      EXPECT_TRUE(lines == 1 || lines == 2) << run.err;
      EXPECT_TRUE(run.err.starts_with("pagewend " + command + ": " + path + ": ")) << run.err;
      EXPECT_EQ(run.err.find(path), run.err.rfind(path)) << "named twice: " << run.err;
      const bool bookCommand = command != "swf" && command != "pack";
      if (bookCommand && (input == "empty" || input == "program" || input == "picture.png")) {
        EXPECT_THAT(run.err, HasSubstr("not a book (no package found at its end)"));
        EXPECT_THAT(run.err, ::testing::Not(HasSubstr("cut short")));
      }
      if (bookCommand && input.starts_with("cut")) {
        EXPECT_THAT(run.err, HasSubstr("not a book (no package found at its end); it looks cut short"));
      }
    }
  }
}

// A book's title and names carry terminal escapes (a window title, a clipboard write, a screen
// clear); no command lets one reach the terminal.
TEST(Tool, NoTextOfABookReachesTheTerminalAsAnEscape) {
  testing::TempDir dir;
  {
    package::PackageWriter w(dir / "hostile.exe");
    const auto image = w.AddRecord(testing::ImageBytes(8, 8, ".jpg"));
    w.Finish(
        "<book><Chapters><chapter><Pages><page><elem>"
        "<img src=\"res\\a&#27;[2Jb.jpg\" " +
            testing::RefAttrs(image) +
            "/>"
            "<img src=\"..\\&#27;]52;c;aGk=&#7;.jpg\" " +
            testing::RefAttrs(image) +
            "/>"
            "</elem></page></Pages></chapter></Chapters></book>",
        "<project><exetitle>T&#27;]0;owned&#7;&#155;2J</exetitle></project>");
  }
  const std::string book = (dir / "hostile.exe").string();
  for (const std::vector<std::string>& args : {std::vector<std::string>{"info", book},
                                               {"settings", book},
                                               {"extract", book, "-o", (dir / "out").string(), "--events"},
                                               {"export", "--html", book, "-o", (dir / "web").string()},
                                               {"extract", book, "-o", (dir / "out").string()}}) {
    const auto run = RunTool(args);
    for (const std::string* text : {&run.out, &run.err}) {
      EXPECT_EQ(text->find('\x1B'), std::string::npos) << args[0] << ": " << *text;
      EXPECT_EQ(text->find('\x07'), std::string::npos) << args[0] << ": " << *text;
      EXPECT_EQ(text->find("\xC2\x9B"), std::string::npos) << args[0] << ": " << *text;
    }
  }
}

}  // namespace
}  // namespace pagewend
