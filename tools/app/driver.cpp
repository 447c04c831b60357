#include "tools/app/driver.h"

#include <cstring>
#include <vector>

#include "tools/app/device_watch.h"
#include "tools/app/job_settings.h"
#include "tools/app/print_job.h"
#include "tools/app/test_page.h"

namespace textrelay::app {

namespace {

// An 80-column text page, receipt rolls, a shipping label, A5 and, after
// them, any size within the driver's limits.
// The text page is the default, 8 inches wide with no side margins: a
// client that sets text in 10 characters an inch (CUPS's texttopdf) fits 80
// columns on it, so a text file's lines come back whole from its PDF.
constexpr const char* kMedia[] = {
    "om_text-80-columns_203.2x279.4mm", "om_receipt-58mm_58x200mm", "om_receipt-80mm_80x200mm",
    "oe_4x6-label_4x6in", "iso_a5_148x210mm",
};
constexpr int kDefaultMedia = 0;
// Hundredths of a millimetre. A size whose margins are all 0 is borderless
// only, and CUPS's driverless queue then lays text on a page of its own
// choosing; a quarter inch at the top and bottom keeps the sizes as they are.
constexpr int kSideMargin = 0;
constexpr int kEndMargin = 635;

// Raster arrives only from a client that ignored the format this printer
// prefers; the driver relays text and has nothing to draw it with.
bool RefuseRaster(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  papplJobSetMessage(job, "this printer prints text only (text/plain), not %s; nothing was sent",
                     papplJobGetFormat(job));
  return false;
}
bool RefuseRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                      unsigned) {
  return RefuseRaster(job, options, device);
}
bool RefuseRasterLine(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned,
                      const unsigned char*) {
  return false;
}

// Anything sent as application/octet-stream that the framework did not
// recognise (PDF, PostScript, JPEG, PNG, raster) is text for the driver:
// ESC/POS, ZPL and other command languages inside text among it.
const char* TypeAsText(const unsigned char*, size_t, void*) { return "text/plain"; }

void SetMedia(pappl_pr_driver_data_t& data, const PaperLimits& limits) {
  data.num_media = 0;
  for (const char* media : kMedia) data.media[data.num_media++] = media;
  data.media[data.num_media++] = limits.min_name.c_str();
  data.media[data.num_media++] = limits.max_name.c_str();
  data.num_source = 1;
  data.source[0] = "main-roll";
  pappl_media_col_t& media = data.media_default;
  const pwg_media_t* size = pwgMediaForPWG(kMedia[kDefaultMedia]);
  std::strncpy(media.size_name, size->pwg, sizeof media.size_name - 1);
  media.size_width = size->width;
  media.size_length = size->length;
  std::strncpy(media.source, data.source[0], sizeof media.source - 1);
  std::strncpy(media.type, "continuous", sizeof media.type - 1);
  data.left_right = media.left_margin = media.right_margin = kSideMargin;
  data.bottom_top = media.bottom_margin = media.top_margin = kEndMargin;
  data.num_type = 1;
  data.type[0] = "continuous";
  data.media_ready[0] = media;
}

void AddVendorAttributes(pappl_pr_driver_data_t& data, ipp_t* attrs) {
  for (const VendorSetting& setting : VendorSettings()) {
    const SettingRow& row = *setting.row;
    data.vendor[data.num_vendor++] = row.name;
    const std::string supported = std::string(row.name) + "-supported";
    const std::string default_name = std::string(row.name) + "-default";
    if (row.boolean) {
      ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
      ippAddBoolean(attrs, IPP_TAG_PRINTER, default_name.c_str(), setting.default_choice == 1);
      continue;
    }
    std::vector<const char*> choices;
    for (const SettingChoice& choice : row.choices) choices.push_back(choice.ipp);
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                  static_cast<int>(choices.size()), nullptr, choices.data());
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, default_name.c_str(), nullptr,
                 row.choices[setting.default_choice].ipp);
  }
}

}  // namespace

bool SetUpDriver(pappl_system_t* system, const char* driver_name, const char*, const char*,
                 pappl_pr_driver_data_t* driver_data, ipp_t** driver_attrs, void* data) {
  if (std::strcmp(driver_name, kDriverName) != 0) return false;
  Application& application = *static_cast<Application*>(data);
  // The framework takes its type guesser from the system, which the
  // default system callback makes before any printer exists.
  papplSystemSetMIMECallback(system, TypeAsText, nullptr);
  WatchDevices(system);

  pappl_pr_driver_data_t& driver = *driver_data;
  driver.extension = data;
  driver.printfile_cb = PrintTextJob;
  driver.testpage_cb = WriteTestPage;
  driver.rstartjob_cb = RefuseRaster;
  driver.rstartpage_cb = RefuseRasterPage;
  driver.rendpage_cb = RefuseRasterPage;
  driver.rendjob_cb = RefuseRaster;
  driver.rwriteline_cb = RefuseRasterLine;
  driver.format = "text/plain";
  std::strncpy(driver.make_and_model, kDriverDescription, sizeof driver.make_and_model - 1);
  driver.ppm = 60;
  driver.kind = static_cast<pappl_kind_t>(PAPPL_KIND_RECEIPT | PAPPL_KIND_LABEL | PAPPL_KIND_DOCUMENT);
  driver.orient_default = IPP_ORIENT_PORTRAIT;
  driver.color_supported = PAPPL_COLOR_MODE_MONOCHROME;
  driver.color_default = PAPPL_COLOR_MODE_MONOCHROME;
  driver.raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1;
  driver.num_resolution = 1;
  driver.x_resolution[0] = driver.y_resolution[0] = 203;
  driver.x_default = driver.y_default = 203;
  driver.sides_supported = PAPPL_SIDES_ONE_SIDED;
  driver.sides_default = PAPPL_SIDES_ONE_SIDED;
  SetMedia(driver, application.paper_limits);

  *driver_attrs = ippNew();
  AddVendorAttributes(driver, *driver_attrs);
  return true;
}

}  // namespace textrelay::app
