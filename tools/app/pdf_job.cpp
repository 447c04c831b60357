#include "tools/app/pdf_job.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "tools/app/print_job.h"
#include "tools/failure.h"
#include "tools/pdf/pdf_text.h"
#include "tools/temporary_file.h"

namespace textrelay::app {

namespace {

struct CloseFile {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, CloseFile>;

struct DeleteOptions {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

// The PDF's lines in an unlinked file, which goes when it is closed. The
// print path opens inputs by name: this process's descriptor gives one.
File PdfLines(pappl_job_t* job, const pappl_pr_options_t& options) {
  const std::vector<pdf::Page> read =
      pdf::ReadPages(papplJobGetFilename(job), {options.first_page, options.last_page},
                     [job] { return papplJobIsCanceled(job); });
  File lines(TemporaryFile());
  if (!lines) FailWithErrno("a temporary file for the PDF's text");
  pdf::WriteLines(read, lines.get());
  return lines;
}

bool Abort(pappl_job_t* job, const char* reason) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason);
  papplJobSetMessage(job, "%s", reason);
  return false;
}

// The framework's filter callback for application/pdf, and for
// application/octet-stream that begins as a PDF does.
bool PrintPdfJob(pappl_job_t* job, pappl_device_t* device, void*) {
  // With no page count given, the framework reads page-ranges as asked.
  const std::unique_ptr<pappl_pr_options_t, DeleteOptions> options(
      papplJobCreatePrintOptions(job, 0, false));
  // A job cancelled before it started has no document; the text path ends
  // it as canceled.
  if (papplJobGetFilename(job) == nullptr) return PrintTextJob(job, options.get(), device);
  File lines;
  try {
    lines = PdfLines(job, *options);
  } catch (const Failure& failure) {
    return Abort(job, failure.what());
  } catch (const std::exception& error) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Internal error: %s", error.what());
    return Abort(job, "this PDF could not be read; nothing was sent");
  }
  if (papplJobIsCanceled(job)) return true;
  const std::string path = "/proc/self/fd/" + std::to_string(fileno(lines.get()));
  if (!PrintTextFile(job, options.get(), device, path.c_str())) return false;
  // The text path leaves one impression for the framework to count after a
  // print-file callback; after a filter it counts none.
  papplJobSetImpressionsCompleted(job, 1);
  return true;
}

}  // namespace

void AddPdfFilter(pappl_system_t* system, void* data) {
  papplSystemAddMIMEFilter(system, "application/pdf", "text/plain", PrintPdfJob, data);
}

}  // namespace textrelay::app
