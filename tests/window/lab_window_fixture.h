// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real window inside the lab (tools/lab/lab.sh): its sockets in the manager namespace, the
// switch simulator in the switch namespace, requests leaving through the window's own sockets.
// Skipped outside the lab unless SWITCHDESK_REQUIRE_LAB is set.

#include <string>

#include "window/window_fixture.h"
#include "support/child_process.h"
#include "support/lab.h"

namespace sd::test {

class LabWindowFixture : public WindowTest {
 protected:
  LabWindowFixture() : WindowTest(false, true) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RequireLab());
    if (IsSkipped()) return;
    WindowTest::SetUp();
    dir.Write("define.ecf", MakeSealedSettings(PlainSettings(1)));
  }
  void TearDown() override {
    if (IsSkipped()) return;
    ui.window.reset();
    sim.Stop();
    WindowTest::TearDown();
  }
  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }
  ChildProcess sim;
};

}  // namespace sd::test
