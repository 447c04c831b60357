// Documents and pages: only the end of a document writes, and only when the
// device asks for a form feed.
#include <memory>

#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;

namespace {

class DocumentTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    pdev_ = std::make_unique<PDevice>();
    pdev_->hPrinter = printer_;
    surface_.dhpdev = reinterpret_cast<DHPDEV>(pdev_.get());
  }
  std::unique_ptr<PDevice> pdev_;
  SURFOBJ surface_{};
};

TEST_F(DocumentTest, EndDoc_OneFormFeedOnlyForFlagOneWhateverFl) {
  const std::string pdev = Hex8(pdev_.get());
  for (BYTE flag : {0, 1, 2}) {
    for (FLONG fl : {0u, static_cast<FLONG>(ED_ABORTDOC)}) {
      pdev_->byFormFeed = flag;
      ClearOutput();
      EXPECT_EQ(driver_.EndDoc(&surface_, fl), TRUE) << int(flag) << " " << fl;
      EXPECT_EQ(writes().size(), flag == 1 ? 1u : 0u);
      EXPECT_EQ(bytes(), flag == 1 ? std::vector<uint8_t>{0x0C} : std::vector<uint8_t>{});
      EXPECT_THAT(trace(), ElementsAre(Line("DrvEndDoc: lpPDevice [" + pdev + "]."),
                                       Line("DrvEndDoc: Returning [1]")));
    }
  }
}

TEST_F(DocumentTest, EndDoc_FailedFormFeedIsFalse) {
  pdev_->byFormFeed = 1;
  checker().spooler.failed_writes().FailNth(1);
  EXPECT_EQ(driver_.EndDoc(&surface_, 0), FALSE);
  EXPECT_EQ(trace().back(), Line("DrvEndDoc: Returning [0]"));
}

TEST_F(DocumentTest, Pages_AcceptAndWriteNothing) {
  pdev_->byFormFeed = 1;
  pdev_->byLineTerminator = 1;
  EXPECT_EQ(driver_.StartDoc(&surface_, nullptr, 77), TRUE);
  EXPECT_EQ(driver_.StartPage(&surface_), TRUE);
  EXPECT_EQ(driver_.SendPage(&surface_), TRUE);
  EXPECT_EQ(checker().spooler.Writes(), 0u);
  const std::string pdev = Hex8(pdev_.get());
  EXPECT_THAT(trace(), ElementsAre(Line("DrvStartDoc: lpPDevice [" + pdev + "]."),
                                   Line("DrvStartDoc: Returning [1]"),
                                   Line("DrvStartPage: lpPDevice [" + pdev + "]."),
                                   Line("DrvStartPage: Returning [1]"),
                                   Line("DrvSendPage: lpPDevice [" + pdev + "]."),
                                   Line("DrvSendPage: Returning [1]")));
}

}  // namespace
