// The drawing surface: a 1-bit bitmap over the driver's own block, text the
// only hooked call, and a release that may be repeated.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;

namespace {

class SurfaceTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    pdev_ = std::make_unique<PDevice>();
    pdev_->hDev = reinterpret_cast<HDEV>(0x7004);
    pdev_->dwBitmapWidthPixels = 3040;
    pdev_->dwBitmapHeightPixels = 2240;
    pdev_->dwBytesPerBitmapRow = 380;
    pdev_->dwBitmapBytes = 851200;
  }
  void TearDown() override {
    Disable();  // whatever a failed expectation left behind
    EngineTest::TearDown();
  }
  DHPDEV dhpdev() { return reinterpret_cast<DHPDEV>(pdev_.get()); }
  HSURF Enable() { return driver_.EnableSurface(dhpdev()); }
  void Disable() { driver_.DisableSurface(dhpdev()); }

  std::unique_ptr<PDevice> pdev_;
};

TEST_F(SurfaceTest, Enable_DefaultBitmapOverTheDriversBlockHookingTextOnly) {
  const HSURF hsurf = Enable();
  ASSERT_NE(hsurf, nullptr);
  EXPECT_EQ(pdev_->hSurface, hsurf);
  const std::optional<host::Surface> surface = checker().handles.FindSurface(hsurf);
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->size.cx, 3040);
  EXPECT_EQ(surface->size.cy, 2240);
  EXPECT_EQ(surface->lWidth, 380);
  EXPECT_EQ(surface->format, static_cast<ULONG>(BMF_1BPP));
  EXPECT_EQ(surface->flags, static_cast<FLONG>(BMF_TOPDOWN));
  EXPECT_EQ(surface->bits, pdev_->lpBitmapBits);
  EXPECT_TRUE(surface->associated);
  EXPECT_EQ(surface->hdev, pdev_->hDev);
  EXPECT_EQ(surface->hooks, static_cast<FLONG>(HOOK_TEXTOUT));
  const std::optional<host::Block> block = checker().pool.Find(pdev_->lpBitmapBits);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->size, 851200u);
  // A user-mode DLL takes its blocks from the process heap, which has no
  // pool tags; the host counts them under "Heap".
  EXPECT_EQ(host::TagText(block->tag), TestingUserModeDll() ? "Heap" : "RTXD");
  const std::string pdev = Hex8(pdev_.get());
  EXPECT_THAT(trace(), ElementsAre(Line("DrvEnableSurface: dhpdev [" + pdev + "]"),
                                   Line("DrvEnableSurface: Creating new surface."),
                                   Line("DrvEnableSurface: Allocated [851200] bytes for bitmap."),
                                   Line("DrvEnableSurface: Created surface [" + Hex8(hsurf) + "]."),
                                   Line("DrvEnableSurface: Returning [" + Hex8(hsurf) + "]")));
}

TEST_F(SurfaceTest, Lifecycle_EnableTwiceDisableTwiceEnableAgain) {
  const HSURF first = Enable();
  ClearOutput();
  EXPECT_EQ(Enable(), first);
  EXPECT_EQ(checker().pool.LiveBlocks(), 1u);
  EXPECT_EQ(checker().handles.LiveSurfaces(), 1u);
  const std::string pdev = Hex8(pdev_.get());
  EXPECT_THAT(trace(), ElementsAre(Line("DrvEnableSurface: dhpdev [" + pdev + "]"),
                                   Line("DrvEnableSurface: Surface [" + Hex8(first) + "] already exists."),
                                   Line("DrvEnableSurface: Returning [" + Hex8(first) + "]")));
  ClearOutput();
  Disable();
  Disable();
  EXPECT_EQ(pdev_->hSurface, nullptr);
  EXPECT_EQ(pdev_->lpBitmapBits, nullptr);
  EXPECT_THAT(trace(), ElementsAre(Line("DrvDisableSurface: dhpdev [" + pdev + "]"),
                                   Line("DrvDisableSurface: EngFreeMem."),
                                   Line("DrvDisableSurface: EngDeleteSurface."),
                                   Line("DrvDisableSurface: dhpdev [" + pdev + "]")));
  const HSURF second = Enable();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_TRUE(checker().handles.FindSurface(second));
  EXPECT_EQ(checker().pool.LiveBlocks(), 1u);
}

TEST_F(SurfaceTest, Failures_NothingKeptAndDisableFreesNothing) {
  checker().handles.failed_creates().FailNth(1);
  EXPECT_EQ(Enable(), nullptr);
  EXPECT_EQ(pdev_->lpBitmapBits, nullptr);
  EXPECT_EQ(pdev_->hSurface, nullptr);
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
  EXPECT_EQ(trace()[3], Line("DrvEnableSurface: EngCreateBitmap failed!"));
  EXPECT_EQ(trace()[4], Line("DrvEnableSurface: Returning [00000000]"));
  ClearOutput();
  Disable();  // the host would report a second free or a stale handle
  EXPECT_EQ(trace().size(), 1u);

  checker().pool.faults().FailNth(1);
  ClearOutput();
  EXPECT_EQ(Enable(), nullptr);
  EXPECT_EQ(checker().handles.LiveSurfaces(), 0u);
  EXPECT_EQ(trace()[2], Line("DrvEnableSurface: EngAllocMem failed!"));
}

// The engine's answers to association and deletion are not looked at:
// with either failing, the same handle is returned and kept, the same lines
// are traced and the release frees the same. A failed association leaves
// the host's surface unassociated; a failed deletion still ends it.
TEST_F(SurfaceTest, Failures_AssociationAndDeletionGoUnnoticed) {
  host::Handles& handles = checker().handles;
  std::vector<std::string> clean_trace;
  for (auto [name, plan] : {std::pair<const char*, host::FaultPlan*>{"no failure", nullptr},
                            {"failed association", &handles.failed_associations()},
                            {"failed deletion", &handles.failed_deletions()}}) {
    SCOPED_TRACE(name);
    ClearOutput();
    if (plan != nullptr) plan->FailNth(1);
    const HSURF hsurf = Enable();
    ASSERT_NE(hsurf, nullptr);
    EXPECT_EQ(hsurf, handles.LastSurface());
    EXPECT_EQ(pdev_->hSurface, hsurf);
    const std::optional<host::Surface> surface = handles.FindSurface(hsurf);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->associated, plan != &handles.failed_associations());
    const std::optional<host::Block> block = checker().pool.Find(pdev_->lpBitmapBits);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size, 851200u);
    Disable();
    EXPECT_EQ(pdev_->hSurface, nullptr);
    EXPECT_EQ(pdev_->lpBitmapBits, nullptr);
    EXPECT_EQ(handles.LiveSurfaces(), 0u);
    EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
    if (plan != nullptr) {
      EXPECT_EQ(plan->Failures(), 1u);
    }

    std::vector<std::string> lines = trace();
    for (std::string& line : lines) {
      for (size_t at; (at = line.find(Hex8(hsurf))) != std::string::npos;) {
        line.replace(at, 8, "{hsurf}");
      }
    }
    if (plan == nullptr) clean_trace = lines;
    EXPECT_EQ(lines, clean_trace);
  }
  EXPECT_EQ(clean_trace.size(), 8u);
}

}  // namespace
