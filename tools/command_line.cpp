#include "tools/command_line.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>

#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/setting_table.h"

namespace textrelay {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
// A week, in seconds: longer is no deadline in practice.
constexpr double kLongestDeadline = 7 * 24 * 3600;

// A setting's choices by their names, the printer application's keywords.
template <typename T>
std::map<std::string, T> Choices(SettingId id) {
  std::map<std::string, T> choices;
  const SettingRow& row = Setting(id);
  for (size_t i = 0; i < row.choices.size(); ++i) choices.emplace(row.choices[i].ipp, static_cast<T>(i));
  return choices;
}

const std::map<std::string, BYTE> kTerminators = Choices<BYTE>(SettingId::kLineTerminator);
const std::map<std::string, EmptyLines> kEmptyLines = Choices<EmptyLines>(SettingId::kEmptyLines);
const std::map<std::string, SHORT> kOrientations{{"portrait", DMORIENT_PORTRAIT},
                                                 {"landscape", DMORIENT_LANDSCAPE}};

// The record's fields are 16-bit signed; whether the driver takes a value is
// the driver's decision, reported by the command.
CLI::Option* AddShort(CLI::App& app, const char* name, std::optional<SHORT>& target,
                      const char* help) {
  return app
      .add_option_function<int>(
          name, [&target](int value) { target = static_cast<SHORT>(value); }, help)
      ->check(CLI::Range(int{std::numeric_limits<SHORT>::min()},
                         int{std::numeric_limits<SHORT>::max()}))
      ->type_name("N");
}

std::vector<CLI::Option*> AddSettings(CLI::App& app, Settings& settings) {
  return {
      app.add_option_function<std::string>(
             "--line-terminator",
             [&settings](const std::string& name) { settings.line_terminator = kTerminators.at(name); },
             "bytes after each line: none, crlf, cr or lf")
          ->check(CLI::IsMember(kTerminators))
          ->type_name("MODE"),
      app.add_flag("--form-feed", settings.form_feed, "end each document with a form feed"),
      AddShort(app, "--paper-width", settings.paper_width, "paper width, tenths of a millimetre"),
      AddShort(app, "--paper-length", settings.paper_length, "paper length, tenths of a millimetre"),
      app.add_option_function<std::string>(
             "--orientation",
             [&settings](const std::string& name) { settings.orientation = kOrientations.at(name); },
             "portrait or landscape")
          ->check(CLI::IsMember(kOrientations))
          ->type_name("SIDE"),
      AddShort(app, "--copies", settings.copies, "copies of each document"),
  };
}

void AddPrint(CLI::App& app, PrintOptions& options, std::function<int()>& command) {
  CLI::App* print = app.add_subcommand("print", "print UTF-8 text through the driver");
  const std::vector<CLI::Option*> settings = AddSettings(*print, options.settings);
  CLI::Option* devmode = print->add_option("--devmode", options.devmode_file,
                                           "take the settings from a device mode file")
                             ->type_name("FILE");
  for (CLI::Option* setting : settings) devmode->excludes(setting);
  print->add_option("--lines-per-page", options.lines_per_page, "start a new page every N lines")
      ->check(CLI::PositiveNumber)
      ->type_name("N");
  print->add_flag("--one-document", options.one_document, "print all files as one document");
  print->add_flag("--replace-invalid", options.replace_invalid,
                  "send invalid UTF-8 as U+FFFD instead of stopping");
  print->add_option("--empty-lines", options.empty_lines,
                    "with a line terminator, send an empty line as a space (feed) or not (skip)")
      ->transform(CLI::CheckedTransformer(kEmptyLines))
      ->type_name("feed|skip")
      ->default_str("feed");
  print->add_option("--code-page", options.code_page, "the host's ANSI code page (an iconv name)")
      ->type_name("NAME")
      ->capture_default_str();
  print->add_flag("--strict", options.strict,
                  "refused settings and unmappable characters stop the job");
  print->add_option("-o,--output", options.output,
                    "-, FILE, a device, tcp://HOST[:PORT] or cups:QUEUE[@SERVER]")
      ->type_name("DEST")
      ->capture_default_str();
  print
      ->add_option_function<double>(
          "--deadline",
          [&options](double seconds) {
            options.deadline = std::chrono::milliseconds(std::llround(seconds * 1000));
          },
          "seconds a tcp:// printer has for each document, from connecting until it has "
          "acknowledged every byte (default 300)")
      ->check(CLI::Range(0.001, kLongestDeadline))
      ->type_name("SECONDS");
  // A flag, so that `--trace FILE` is a trace and an input, and only
  // `--trace=FILE` names the trace file.
  print->add_flag("--trace{-}", options.trace,
                  "the driver's trace to standard error or, with =FILE, to a file");
  print->add_flag("--hexdump", options.hexdump, "write a hex dump instead of the bytes");
  print->add_option("--driver", options.driver_path, "load the driver from a DLL")
      ->type_name("PATH");
  print->add_option("files", options.files, "UTF-8 text files; none or - is standard input")
      ->type_name("FILE");
  print->callback([&] { command = [&] { return RunPrint(options); }; });
}

struct DevModeArguments {
  DevModeNewOptions create;
  std::string file;
};

void AddDevMode(CLI::App& app, DevModeArguments& arguments, std::function<int()>& command) {
  CLI::App* devmode = app.add_subcommand("devmode", "make, show and check device mode files");
  devmode->require_subcommand(1);

  CLI::App* create = devmode->add_subcommand("new", "write a device mode file of the driver's own");
  AddSettings(*create, arguments.create.settings);
  create->add_option("--name", arguments.create.name, "the device name in the record")
      ->capture_default_str();
  create->add_flag("--strict", arguments.create.strict, "refused settings stop the command");
  create->add_option("-o,--output", arguments.create.output, "the file to write")
      ->required()
      ->type_name("FILE");
  create->callback([&] { command = [&] { return RunDevModeNew(arguments.create); }; });

  CLI::App* show = devmode->add_subcommand("show", "show a device mode file's fields");
  show->add_option("file", arguments.file)->required()->type_name("FILE");
  show->callback([&] { command = [&] { return RunDevModeShow(arguments.file); }; });

  CLI::App* check = devmode->add_subcommand(
      "check", "exit 0 when the driver takes the file as its own, 1 when not, 2 when unreadable");
  check->add_option("file", arguments.file)->required()->type_name("FILE");
  check->callback([&] { command = [&] { return RunDevModeCheck(arguments.file); }; });
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  CLI::App app{"Prints text through the raw text printer driver hosted in its engine."};
  app.name("textrelay");
  app.require_subcommand(1);
  app.set_version_flag("--version", "textrelay " TEXTRELAY_VERSION, "print the version and exit");
  PrintOptions print;
  DevModeArguments devmode;
  std::function<int()> command;
  // Only the command asked for is set up; help and mistakes see both.
  // Setting up options costs more than printing a receipt.
  const std::string_view asked = argc > 1 ? argv[1] : "";
  if (asked != "devmode") AddPrint(app, print, command);
  if (asked != "print") AddDevMode(app, devmode, command);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& help_or_version) {
    return app.exit(help_or_version);
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "textrelay: %s (see textrelay --help)\n", error.what());
    return kUsage;
  }
  try {
    return command();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "textrelay: %s\n", failure.what());
    return kFailed;
  }
}

}  // namespace textrelay
