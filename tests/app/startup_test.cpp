#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

struct NoIndicator : ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

// Without define.ecf nothing is configured: no group to join, so the program must end. No packet
// leaves: joining the empty group is refused before anything is sent.
TEST(StartupTest, RejectedSettingsLeadToTheClosingMessage) {
  test::TempConfigDir dir;
  test::MainDialogFixture f;
  ResetSettings();
  EventLoop loop;
  TrapStore traps;
  traps.Add("t", "a", "left from before");
  NoIndicator indicator;
  NetworkEngine engine(f.dlg, f.messages, indicator, loop, traps);
  const StartupOutcome outcome = StartCore(f.dlg, engine, traps, f.messages);
  EXPECT_FALSE(outcome.settings_loaded);
  EXPECT_FALSE(outcome.can_run);
  EXPECT_EQ(traps.trap_count(), 0);
  EXPECT_EQ(f.messages.Texts(), (std::vector<std::string>{"Define.ecf does not exist.",
                                                          "This will cause the application to fail.",
                                                          "Please check your network connection.\nUtility will close."}));
}

}  // namespace
}  // namespace sd
