#include <cstdio>
#include <memory>
#include <string_view>

#include "driver/functions.h"
#include "host/pe_image.h"
#include "host/engine.h"
#include "host/job.h"
#include "host/runner.h"
#include "tools/commands.h"
#include "tools/destination.h"
#include "tools/devmode_file.h"
#include "tools/failure.h"
#include "tools/input.h"
#include "tools/job_spool.h"

namespace textrelay {

namespace {

constexpr char16_t kDeviceName[] = u"textrelay";

// The job's trace goes to standard error, to a file, or nowhere; kept in
// memory it would grow with the input.
class TraceOutput {
 public:
  TraceOutput(const std::string& target, host::Trace& trace) : trace_(trace) {
    trace.Discard();
    if (target.empty()) return;
    if (target == "-") {
      trace.WriteTo(stderr);
      return;
    }
    file_ = std::fopen(target.c_str(), "w");
    if (file_ == nullptr) FailWithErrno("--trace=" + target);
    // Several lines for every line printed: written in large blocks.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    trace.WriteTo(file_);
  }
  ~TraceOutput() {
    trace_.Discard();
    if (file_ != nullptr) std::fclose(file_);
  }
  TraceOutput(const TraceOutput&) = delete;
  TraceOutput& operator=(const TraceOutput&) = delete;

 private:
  host::Trace& trace_;
  FILE* file_ = nullptr;
};

std::optional<CallerDevMode> CallerFor(const PrintOptions& options) {
  if (!options.devmode_file.empty()) return ReadDevModeFile(options.devmode_file);
  if (options.settings.any()) return BuildCallerDevMode(options.settings, kDeviceName);
  return std::nullopt;
}

void ReportRefusals(const DeviceSettings& device, bool strict, const NoteSink& note) {
  for (const Refusal& refusal : device.refusals) {
    if (strict) throw Failure(Describe(refusal) + "; nothing was sent");
    note(Describe(refusal));
  }
}

void CheckInputs(const std::vector<Input>& inputs, const PrintOptions& options,
                 const NoteSink& note, host::CodePage& code_page) {
  const auto invalid = options.replace_invalid ? LineReader::Invalid::kReplace
                                               : LineReader::Invalid::kStop;
  for (const Input& input : inputs) {
    const InputReport report = CheckInput(input, invalid, code_page);
    if (const std::string cut = CutNote(input, report, options.code_page); !cut.empty()) {
      throw Failure(cut + "; nothing was sent");
    }
    if (const std::string invalid_note = InvalidNote(input, report); !invalid_note.empty()) {
      note(invalid_note);
    }
    const std::string unmappable = UnmappableNote(input, report, options.code_page);
    if (unmappable.empty()) continue;
    if (options.strict) throw Failure(unmappable + "; nothing was sent");
    note(unmappable);
  }
}

void Require(BOOL result, const std::string& what) {
  if (!result) throw Failure(what);
}

bool StopAsked(const PrintOptions& options) {
  return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

// Counts the pages of the job and tells whoever listens.
class PageCount {
 public:
  PageCount(const PrintOptions& options, int copies) : options_(options), copies_(copies) {}
  void Sent() {
    ++pages_;
    if (options_.page_sent) options_.page_sent(pages_, copies_);
  }

 private:
  const PrintOptions& options_;
  int copies_;
  uint64_t pages_ = 0;
};

// Brackets the lines with pages: a new page after every N lines when asked,
// and at every line holding a form feed, which itself goes to the printer
// with the line. An empty line goes as one space when asked, since the
// driver would write not even its terminator for it. One text object
// carries every line.
class Pager {
 public:
  Pager(host::Device& device, const JobSpool& spool, PageCount& pages, int lines_per_page,
        bool empty_as_space)
      : device_(device),
        spool_(spool),
        pages_(pages),
        lines_per_page_(lines_per_page),
        empty_as_space_(empty_as_space) {}

  void Line(const LineReader& reader, const std::string& name) {
    const std::u16string& line = reader.line();
    const uint64_t number = reader.line_number();
    const bool full = lines_per_page_ > 0 && lines_on_page_ == lines_per_page_;
    // Sought among the bytes, where it is quicker found, and where 0x0C
    // is never part of another character.
    const bool form_feed =
        reader.bytes().find('\f') != std::string_view::npos && lines_on_page_ > 0;
    if (page_open_ && (full || form_feed)) EndPage(Where(name, number));
    if (!page_open_) StartPage(Where(name, number));
    text_.SetString(line.empty() && empty_as_space_ ? std::u16string_view(u" ") : line);
    if (!device_.Text(text_)) throw Failure(spool_.WriteFailure(Where(name, number)));
    ++lines_on_page_;
  }

  void Finish(const std::string& where) {
    if (!page_open_) StartPage(where);
    EndPage(where);
  }

 private:
  static std::string Where(const std::string& name, uint64_t number) {
    return name + ": line " + std::to_string(number);
  }
  void StartPage(const std::string& where) {
    Require(device_.StartPage(), where + ": the driver failed to start a page");
    page_open_ = true;
    lines_on_page_ = 0;
  }
  void EndPage(const std::string& where) {
    Require(device_.SendPage(), where + ": the driver failed to send a page");
    page_open_ = false;
    pages_.Sent();
  }

  host::Device& device_;
  const JobSpool& spool_;
  PageCount& pages_;
  int lines_per_page_;
  bool empty_as_space_;
  host::TextObject text_;
  bool page_open_ = false;
  int lines_on_page_ = 0;
};

struct Document {
  std::string name;
  std::vector<const Input*> inputs;
};

std::vector<Document> Documents(const std::vector<Input>& inputs, bool one_document) {
  std::vector<Document> documents;
  for (const Input& input : inputs) {
    if (documents.empty() || !one_document) documents.push_back({input.name(), {}});
    documents.back().inputs.push_back(&input);
  }
  return documents;
}

// The spooler's handle for the job's printer, closed after the device.
struct OpenPrinter {
  explicit OpenPrinter(std::shared_ptr<host::SpoolSink> sink)
      : handle(host::Engine::Get().spooler.Open(std::move(sink))) {}
  ~OpenPrinter() { host::Engine::Get().spooler.Close(handle); }
  OpenPrinter(const OpenPrinter&) = delete;
  OpenPrinter& operator=(const OpenPrinter&) = delete;
  HANDLE handle;
};

class Job {
 public:
  Job(const PrintOptions& options, const DeviceSettings& settings, Destination& destination)
      : options_(options), settings_(settings), destination_(destination),
        pages_(options, settings.copies) {}

  void Print(host::DrvEnableDriverEntry entry, const std::optional<CallerDevMode>& caller,
             const std::vector<Document>& documents) {
    host::Driver driver(entry);
    Require(driver.loaded(), "the driver refused to load");
    const std::shared_ptr<JobSpool> spool =
        OpenJobSpool(destination_, settings_.copies, 1 << 16, options_.stop);
    const OpenPrinter printer(spool);
    host::Device device(driver, caller ? caller->dm() : nullptr, kDeviceName, printer.handle);
    Require(device.ok(), "the driver could not create the device");
    DWORD job = 0;
    for (const Document& document : documents) {
      if (StopAsked(options_)) break;
      spool->BeginDocument(document.name);
      PrintDocument(device, *spool, document, ++job);
      spool->EndDocument();
    }
  }

 private:
  void PrintDocument(host::Device& device, const JobSpool& spool, const Document& document,
                     DWORD job) {
    Require(device.StartDoc(Widen(document.name), job),
            document.name + ": the driver failed to start the document");
    const bool ends_lines = std::string_view(TerminatorName(settings_.line_terminator)) != "none";
    const bool empty_as_space = options_.empty_lines == EmptyLines::kFeed && ends_lines;
    Pager pager(device, spool, pages_, options_.lines_per_page, empty_as_space);
    const auto invalid = options_.replace_invalid ? LineReader::Invalid::kReplace
                                                  : LineReader::Invalid::kStop;
    for (const Input* input : document.inputs) {
      LineReader reader(input->Rewound(), input->name(), invalid);
      while (!StopAsked(options_) && reader.Next()) pager.Line(reader, input->name());
    }
    pager.Finish(document.name);
    Require(device.EndDoc(), document.name + ": the driver failed to end the document");
  }

  const PrintOptions& options_;
  const DeviceSettings& settings_;
  Destination& destination_;
  PageCount pages_;
};

bool AllUtf8(const std::vector<Input>& inputs) {
  for (const Input& input : inputs) {
    LineReader reader(input.Rewound(), input.name(), LineReader::Invalid::kReplace);
    while (reader.Next()) {
      if (reader.replaced() > 0) return false;
    }
  }
  return true;
}

// Each document's bytes as they are, `copies` times, a page each.
void SendUnchanged(const std::vector<Document>& documents, int copies, Destination& destination,
                   const PrintOptions& options) {
  const std::shared_ptr<JobSpool> spool = OpenJobSpool(destination, copies);
  PageCount pages(options, copies);
  std::vector<uint8_t> chunk(1 << 16);
  for (const Document& document : documents) {
    if (StopAsked(options)) break;
    spool->BeginDocument(document.name);
    for (const Input* input : document.inputs) {
      FILE* stream = input->Rewound();
      size_t got;
      while ((got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        if (!spool->Write(chunk.data(), got)) throw Failure(spool->WriteFailure(input->name()));
      }
      if (std::ferror(stream)) FailWithErrno(input->name() + ": read failed");
    }
    spool->EndDocument();
    pages.Sent();
  }
}

std::unique_ptr<Destination> OpenOutput(const PrintOptions& options) {
  std::unique_ptr<Destination> destination = OpenDestination(options.output, options.deadline);
  if (options.hexdump) return HexDumpTo(std::move(destination));
  return destination;
}

}  // namespace

void Note(const std::string& text) { std::fprintf(stderr, "textrelay: %s\n", text.c_str()); }

// The platform's DLL named by --driver, loaded before anything is sent;
// none means the driver linked into this program.
std::unique_ptr<host::PeImage> LoadDriver(const std::string& path) {
  if (path.empty()) return nullptr;
  try {
    return host::PeImage::Load(path);
  } catch (const host::PeImageError& error) {
    throw Failure(std::string("--driver ") + error.what());
  }
}

int RunPrint(const PrintOptions& options) { return RunPrint(options, Note); }

int RunPrint(const PrintOptions& options, const NoteSink& note) {
  return RunPrint(options, note, [&options] { return OpenOutput(options); });
}

int RunPrint(const PrintOptions& options, const NoteSink& note, const DestinationOpener& open) {
  const std::unique_ptr<host::PeImage> image = LoadDriver(options.driver_path);
  host::JobState state;
  const host::JobScope scope(state);
  if (!state.code_page.Select(options.code_page)) {
    throw Failure("--code-page " + options.code_page + ": iconv does not know this code page");
  }
  const std::optional<CallerDevMode> caller = CallerFor(options);
  const DeviceSettings settings = PredictDevice(caller ? &*caller : nullptr);
  ReportRefusals(settings, options.strict, note);
  if (caller && !settings.private_block_taken) {
    note(options.devmode_file + ": not the driver's own device mode (" + WhyNotOwn(*caller->dm()) +
         "): the driver keeps its own line terminator and form feed");
  }

  std::vector<Input> inputs;
  for (const std::string& file : options.files) inputs.push_back(Input::Open(file));
  if (inputs.empty()) inputs.push_back(Input::Open("-"));
  if (!options.input_name.empty() && inputs.size() == 1) inputs[0].Rename(options.input_name);
  const std::vector<Document> documents = Documents(inputs, options.one_document);
  if (options.send_binary_unchanged && !AllUtf8(inputs)) {
    const std::unique_ptr<Destination> destination = open();
    SendUnchanged(documents, settings.copies, *destination, options);
    destination->Commit();
    return 0;
  }
  CheckInputs(inputs, options, note, state.code_page);
  if (StopAsked(options)) return 0;

  const TraceOutput trace(options.trace, state.trace);
  const std::unique_ptr<Destination> destination = open();
  Job(options, settings, *destination)
      .Print(image ? image->entry() : &DrvEnableDriver, caller, documents);
  destination->Commit();
  return 0;
}

}  // namespace textrelay
