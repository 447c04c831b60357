#include "tools/pdf/pdf_text.h"

#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <PDFDoc.h>

#include <algorithm>
#include <memory>

#include "tools/failure.h"
#include "tools/pdf/glyph_device.h"

namespace textrelay::pdf {

namespace {

// poppler's own messages name offsets and objects; the reason a user sees
// comes from the document's error code instead.
void Quiet(ErrorCategory, Goffset, const char*) {}

void ReadyPoppler() { static const GlobalParamsIniter poppler(Quiet); }

std::string Why(int error) {
  switch (error) {
    case errOpenFile:
      return "the PDF could not be opened";
    case errEncrypted:
      return "this PDF is encrypted with a password";
    case errBadCatalog:
    case errDamaged:
      return "this file is not a PDF or is damaged";
    default:
      return "this PDF could not be read";
  }
}

void Check(PDFDoc& document) {
  if (!document.isOk()) throw Failure(Why(document.getErrorCode()) + "; nothing was sent");
  if (!document.okToPrint()) {
    throw Failure("this PDF's permissions do not allow printing it; nothing was sent");
  }
}

}  // namespace

std::vector<Page> ReadPages(const std::string& path, PageRange range,
                            const std::function<bool()>& stop) {
  ReadyPoppler();
  PDFDoc document(std::make_unique<GooString>(path));
  Check(document);
  const unsigned count = static_cast<unsigned>(std::max(document.getNumPages(), 0));
  if (range.first < 1 || range.first > range.last || range.first > count) {
    throw Failure("page-ranges " + std::to_string(range.first) + "-" + std::to_string(range.last) +
                  " holds none of this PDF's " + std::to_string(count) + " pages; nothing was sent");
  }
  GlyphDevice device(document.getXRef());
  std::vector<Page> pages;
  for (unsigned number = range.first; number <= std::min(range.last, count); ++number) {
    if (stop && stop()) break;
    // 72 dots an inch: a point is a unit. The crop box, as a viewer shows it.
    document.displayPage(&device, static_cast<int>(number), 72, 72, 0, /*useMediaBox=*/false, /*crop=*/true,
                         /*printing=*/true);
    pages.push_back(device.TakePage());
  }
  return pages;
}

void WriteLines(const std::vector<Page>& pages, FILE* out) {
  if (std::all_of(pages.begin(), pages.end(), [](const Page& page) { return page.empty(); })) {
    const std::string where = pages.size() == 1 ? "on its one page"
                                                : "on any of its " + std::to_string(pages.size()) + " pages";
    throw Failure("this PDF holds no text " + where +
                  " (a scan or a picture has none to print); nothing was sent");
  }
  const Grid grid = MeasureGrid(pages);
  for (const Page& page : pages) {
    const PageEnd end = &page == &pages.back() ? PageEnd::kLastText : PageEnd::kFill;
    for (const std::string& line : PageLines(page, grid, end)) {
      std::fwrite(line.data(), 1, line.size(), out);
      std::fputc('\n', out);
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) FailWithErrno("the PDF's text");
}

}  // namespace textrelay::pdf
