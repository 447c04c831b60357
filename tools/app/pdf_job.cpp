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
File PdfLines(pappl_job_t* job, size_t& pages) {
  const std::vector<pdf::Page> read =
      pdf::ReadPages(papplJobGetFilename(job), [job] { return papplJobIsCanceled(job); });
  pages = read.size();
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
  size_t pages = 0;
  File lines;
  try {
    lines = PdfLines(job, pages);
  } catch (const Failure& failure) {
    return Abort(job, failure.what());
  } catch (const std::exception&) {
    return Abort(job, "this PDF could not be read; nothing was sent");
  }
  if (papplJobIsCanceled(job)) return true;
  papplJobSetImpressions(job, static_cast<int>(pages));
  const std::unique_ptr<pappl_pr_options_t, DeleteOptions> options(
      papplJobCreatePrintOptions(job, static_cast<unsigned>(pages), false));
  const std::string path = "/proc/self/fd/" + std::to_string(fileno(lines.get()));
  if (!PrintTextFile(job, options.get(), device, path.c_str())) return false;
  papplJobSetImpressionsCompleted(job, static_cast<int>(pages));
  return true;
}

}  // namespace

void AddPdfFilter(pappl_system_t* system, void* data) {
  papplSystemAddMIMEFilter(system, "application/pdf", "text/plain", PrintPdfJob, data);
}

}  // namespace textrelay::app
