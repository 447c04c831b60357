// A complete three-page job in the engine's order, with its text carried
// in all three ways (the engine's string, glyph positions, enumeration in
// batches), recording what each call answered and what it delivered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "devmode/devmode.h"
#include "host/runner.h"
#include "host/spooler.h"

// The driver's own device mode with CR LF and the closing form feed, on a
// small page: the default page's bitmap would dominate every run.
inline DrvDevMode SmallPageDevMode() {
  DrvDevMode devmode{};
  GetDefaultDrvDevMode(u"TextRelay", &devmode);
  devmode.dm.dmFields = DM_PAPERLENGTH | DM_PAPERWIDTH;
  devmode.dm.dmPaperLength = 100;
  devmode.dm.dmPaperWidth = 100;
  devmode.byLineTerminator = 1;  // CR LF
  devmode.byFormFeed = 1;
  return devmode;
}

struct JobCall {
  std::string name;
  BOOL result;
  std::string expected;   // what the call sends when it succeeds
  std::string delivered;  // what reached the printer during the call
};

struct JobRun {
  bool device_ok = false;
  std::vector<JobCall> calls;
  bool AllTrue() const {
    for (const JobCall& call : calls) {
      if (call.result != TRUE) return false;
    }
    return device_ok;
  }
};

// The enumerated line comes in batches of 1, 0, 1 and 1 glyphs.
constexpr size_t kJobEnumerationBatches = 4;
constexpr const char* kJobBytes = "Page one\r\nTwo\r\nlines\r\nEnd\r\n\x0C";

// ddi_error_batch: the batch of the enumeration answered with DDI_ERROR,
// or kJobEnumerationBatches and beyond for none.
inline JobRun RunThreePageJob(const host::Driver& driver, HANDLE printer,
                              const host::MemorySink& sink, const DEVMODEW* devmode,
                              size_t ddi_error_batch = kJobEnumerationBatches) {
  JobRun run;
  host::Device device(driver, devmode, u"TextRelay", printer);
  run.device_ok = device.ok();
  if (!run.device_ok) return run;
  host::TextObject glyphs, enumerated;
  glyphs.SetGlyphs({'l' - 29, 'i' - 29, 'n' - 29, 'e' - 29, 's' - 29});
  glyphs.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
  enumerated.SetEnumeration({'E', 'n', 'd'}, {1, 0, 1, 1});
  if (ddi_error_batch < kJobEnumerationBatches) enumerated.AnswerDdiErrorAt(ddi_error_batch);
  auto call = [&](const char* name, const std::string& expected, const std::function<BOOL()>& fn) {
    const size_t before = sink.bytes().size();
    const BOOL result = fn();
    run.calls.push_back(
        {name, result, expected, std::string(sink.bytes().begin() + before, sink.bytes().end())});
  };
  call("DrvStartDoc", "", [&] { return device.StartDoc(); });
  call("DrvStartPage", "", [&] { return device.StartPage(); });
  call("DrvTextOut string", "Page one\r\n", [&] { return device.Text(u"Page one"); });
  call("DrvSendPage", "", [&] { return device.SendPage(); });
  call("DrvStartPage", "", [&] { return device.StartPage(); });
  call("DrvTextOut string", "Two\r\n", [&] { return device.Text(u"Two"); });
  call("DrvTextOut glyphs", "lines\r\n", [&] { return device.Text(glyphs); });
  call("DrvSendPage", "", [&] { return device.SendPage(); });
  call("DrvStartPage", "", [&] { return device.StartPage(); });
  call("DrvTextOut enumerated", "End\r\n", [&] { return device.Text(enumerated); });
  call("DrvSendPage", "", [&] { return device.SendPage(); });
  call("DrvEndDoc", "\x0C", [&] { return device.EndDoc(); });
  return run;
}
