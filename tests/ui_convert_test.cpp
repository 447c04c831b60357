// Conversions between the driver's record and records of other versions and
// sizes: the output keeps the version it asked for, takes the public fields
// both records hold and the private block only from a valid record of the
// driver's own; a buffer too small learns the size and receives nothing.
#include <algorithm>
#include <cstring>

#include "tests/ui_test.h"

namespace {

class UiConvertTest : public UiTest {
 protected:
  BOOL Convert(DEVMODEW* in, Bytes& out, LONG* cb, DWORD mode) {
    SetLastError(0);
    return ui_.DrvConvertDevMode(printer_name_.data(), in, AsDevMode(out), cb, mode);
  }
};

// A record of dmSize public and extra private bytes: public bytes from a
// pattern (the header fields set), private bytes all `fill`.
Bytes Record(uint16_t dmSize, uint16_t extra, uint8_t seed, uint8_t fill) {
  Bytes b(dmSize + extra);
  for (size_t i = 0; i < dmSize; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  std::fill(b.begin() + dmSize, b.end(), fill);
  DEVMODEW* dm = AsDevMode(b);
  dm->dmSpecVersion = 0x0401;
  dm->dmDriverVersion = 0x0100;
  dm->dmSize = dmSize;
  dm->dmDriverExtra = extra;
  if (dmSize >= 76) dm->dmFields = 0xFFFFFFFF;
  return b;
}

// Where each dmFields bit's field ends, from the record's own layout (which
// the layout check holds to the platform's), so the expected bits can be
// worked out from the sizes alone.
#define END(f) (offsetof(DEVMODEW, f) + sizeof(DEVMODEW{}.f))
const std::pair<uint32_t, size_t> kFieldEnds[] = {
    {DM_ORIENTATION, END(dmOrientation)},   {DM_PAPERSIZE, END(dmPaperSize)},
    {DM_PAPERLENGTH, END(dmPaperLength)},   {DM_PAPERWIDTH, END(dmPaperWidth)},
    {DM_SCALE, END(dmScale)},               {DM_COPIES, END(dmCopies)},
    {DM_DEFAULTSOURCE, END(dmDefaultSource)}, {DM_PRINTQUALITY, END(dmPrintQuality)},
    {DM_COLOR, END(dmColor)},               {DM_DUPLEX, END(dmDuplex)},
    {DM_YRESOLUTION, END(dmYResolution)},   {DM_TTOPTION, END(dmTTOption)},
    {DM_COLLATE, END(dmCollate)},           {DM_FORMNAME, END(dmFormName)},
    {DM_LOGPIXELS, END(dmLogPixels)},       {DM_BITSPERPEL, END(dmBitsPerPel)},
    {DM_PELSWIDTH, END(dmPelsWidth)},       {DM_PELSHEIGHT, END(dmPelsHeight)},
    {DM_DISPLAYFLAGS, END(dmDisplayFlags)}, {DM_DISPLAYFREQUENCY, END(dmDisplayFrequency)},
    {DM_ICMMETHOD, END(dmICMMethod)},       {DM_ICMINTENT, END(dmICMIntent)},
    {DM_MEDIATYPE, END(dmMediaType)},       {DM_DITHERTYPE, END(dmDitherType)},
    {DM_PANNINGWIDTH, END(dmPanningWidth)}, {DM_PANNINGHEIGHT, END(dmPanningHeight)}};
#undef END

uint32_t Beyond(size_t size) {
  uint32_t bits = 0;
  for (auto [bit, end] : kFieldEnds) bits |= end > size ? bit : 0;
  return bits;
}

TEST_F(UiConvertTest, EverySizeToEverySize) {
  struct Shape {
    uint16_t size, extra;
  };
  const Shape sources[] = {{72, 0}, {100, 0}, {156, 0}, {188, 0}, {212, 0}, {220, 0},
                           {220, 16}, {220, 7008}, {300, 8}};
  const Shape targets[] = {{72, 0}, {156, 0}, {188, 12}, {220, 0}, {220, 7008}, {300, 4}};
  Bytes defaults = UiDefaults();
  for (Shape s : sources) {
    for (Shape t : targets) {
      SCOPED_TRACE(testing::Message() << s.size << "+" << s.extra << " -> " << t.size << "+"
                                      << t.extra);
      Bytes in = Record(s.size, s.extra, 0x11, 0x77);
      auto guarded = Guarded(in);
      Bytes out = Record(t.size, t.extra, 0x80, 0x33);
      if (t.size >= 76) AsDevMode(out)->dmFields = 0x0F0F0F0F;
      Bytes before = out;
      LONG cb = static_cast<LONG>(out.size());
      ASSERT_TRUE(Convert(AsDevMode(*guarded), out, &cb, CDM_CONVERT));
      EXPECT_EQ(cb, static_cast<LONG>(out.size()));
      Bytes expected = before;
      size_t common = std::min(s.size, t.size);
      std::memcpy(expected.data(), in.data(), 64);
      if (common > 76) std::memcpy(expected.data() + 76, in.data() + 76, common - 76);
      if (common >= 76) {
        uint32_t fields = (0xFFFFFFFFu & ~Beyond(common)) | (0x0F0F0F0Fu & Beyond(s.size));
        std::memcpy(expected.data() + 72, &fields, 4);
      }
      bool own_out = t.size == 220 && t.extra == 7008;
      if (own_out) {
        bool own_in = s.size == 220 && s.extra == 7008;
        const Bytes& block = own_in ? in : defaults;
        std::memcpy(expected.data() + 220, block.data() + 220, 7008);
      }
      EXPECT_EQ(out, expected);
    }
  }
}

TEST_F(UiConvertTest, DriverDefaultsAndTheOldestVersionGiveTheCurrentRecord) {
  Bytes defaults = UiDefaults();
  Bytes out(7228, 0x5A);
  LONG cb = 7228;
  ASSERT_TRUE(Convert(nullptr, out, &cb, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(cb, 7228);
  EXPECT_EQ(out, defaults);

  // The driver has no record of the oldest version, so it converts to the
  // current one: the public fields the input holds, over the defaults.
  Bytes old = Record(156, 0, 0x11, 0);
  auto guarded = Guarded(old);
  Bytes expected = defaults;
  std::memcpy(expected.data(), old.data(), 64);
  std::memcpy(expected.data() + 76, old.data() + 76, 156 - 76);
  uint32_t fields = (0xFFFFFFFFu & ~Beyond(156)) | (0x50Fu & Beyond(156));
  std::memcpy(expected.data() + 72, &fields, 4);
  std::fill(out.begin(), out.end(), 0x5A);
  ASSERT_TRUE(Convert(AsDevMode(*guarded), out, &cb, CDM_CONVERT351));
  EXPECT_EQ(cb, 7228);
  EXPECT_EQ(out, expected);
}

TEST_F(UiConvertTest, TooSmallABufferLearnsTheSizeAndReceivesNothing) {
  Bytes in = UiDefaults();
  struct Case {
    DWORD mode;
    size_t out_size;
    LONG given;
    LONG needed;
  };
  const Case cases[] = {{CDM_DRIVER_DEFAULT, 7228, 7227, 7228}, {CDM_DRIVER_DEFAULT, 7228, 0, 7228},
                        {CDM_DRIVER_DEFAULT, 7228, -1, 7228},   {CDM_CONVERT351, 7228, 220, 7228},
                        {CDM_CONVERT, 7228, 7227, 7228},        {CDM_CONVERT, 232, 231, 232}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " given " << c.given);
    Bytes out = Record(static_cast<uint16_t>(std::min<size_t>(c.out_size, 220)),
                       static_cast<uint16_t>(c.out_size - std::min<size_t>(c.out_size, 220)),
                       0x80, 0x33);
    Bytes before = out;
    LONG cb = c.given;
    EXPECT_FALSE(Convert(AsDevMode(in), out, &cb, c.mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(cb, c.needed);
    EXPECT_EQ(out, before);
  }
  // No output at all is the spooler's size query, in every mode.
  for (DWORD mode : {CDM_DRIVER_DEFAULT, CDM_CONVERT, CDM_CONVERT351}) {
    LONG cb = 0;
    SetLastError(0);
    EXPECT_FALSE(ui_.DrvConvertDevMode(printer_name_.data(), AsDevMode(in), nullptr, &cb, mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << mode;
    EXPECT_EQ(cb, 7228) << mode;
  }
}

// Without memory for the defaults a record of the driver's own cannot be
// made whole: the conversion fails and the output is left as it was.
TEST_F(UiConvertTest, NoMemoryFailsWithNothingWritten) {
  Bytes foreign = Record(220, 0, 0x21, 0);
  for (DWORD mode : {CDM_DRIVER_DEFAULT, CDM_CONVERT, CDM_CONVERT351}) {
    for (uint64_t k = 1; k <= 2; ++k) {
      SCOPED_TRACE(testing::Message() << mode << " allocation " << k);
      Bytes out = UiDefaults();
      out[7226] = 0xA5;
      Bytes before = out;
      LONG cb = 7228;
      checker().pool.faults().FailNth(k);
      BOOL converted = Convert(AsDevMode(foreign), out, &cb, mode);
      bool failed = checker().pool.faults().Failures() > 0;
      checker().pool.faults().Clear();
      if (!failed) continue;
      EXPECT_FALSE(converted);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
      EXPECT_EQ(out, before);
    }
  }
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}

TEST_F(UiConvertTest, MissingOrShortRecordsAndUnknownModesAreRefused) {
  Bytes in = UiDefaults();
  Bytes out = UiDefaults();
  Bytes before = out;
  LONG cb = 7228;
  EXPECT_FALSE(ui_.DrvConvertDevMode(printer_name_.data(), AsDevMode(in), AsDevMode(out), nullptr,
                                     CDM_CONVERT));
  Bytes short_in = Record(72, 0, 0x11, 0);
  AsDevMode(short_in)->dmSize = 71;
  for (DWORD mode : {0u, 3u, 8u, 0x80000001u}) {
    EXPECT_FALSE(Convert(AsDevMode(in), out, &cb, mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  for (DWORD mode : {static_cast<DWORD>(CDM_CONVERT), static_cast<DWORD>(CDM_CONVERT351)}) {
    EXPECT_FALSE(Convert(nullptr, out, &cb, mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Convert(AsDevMode(short_in), out, &cb, mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // The output must say which version it wants.
  AsDevMode(out)->dmSize = 50;
  EXPECT_FALSE(Convert(AsDevMode(in), out, &cb, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  AsDevMode(out)->dmSize = 220;
  EXPECT_EQ(out, before);
}

}  // namespace
