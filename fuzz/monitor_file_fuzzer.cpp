// SPDX-License-Identifier: GPL-3.0-or-later
// monitor.cfg on arbitrary bytes: DecodeMonitorFile, ReadMonitorFile, the start-up load into an
// empty Monitor List and "Monitor load" merging the file into a list that already holds two
// switches.

#include <cstddef>
#include <cstdint>
#include <span>

#include "devices/monitor_file.h"
#include "fuzz_support.h"
#include "support/devices.h"
#include "support/main_dialog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sd;
  auto& dir = fuzz::FuzzConfigDir::Instance();
  const std::span<const std::uint8_t> bytes(data, size);

  if (auto records = DecodeMonitorFile(bytes)) {
    for (auto& r : *records) TerminateTexts(r);
  }
  dir.Write("monitor.cfg", bytes);
  (void)ReadMonitorFile(dir.File("monitor.cfg"));

  {
    test::MainDialogFixture f;
    f.dlg.LoadMonitorFileAtStartup();
  }
  {
    test::MainDialogFixture f;
    f.AddMonitored(test::Switch("020000000010", "198.18.0.10"));
    f.AddMonitored(test::Switch("020000000011", "198.18.0.11"));
    f.file_dialogs.open_answer = dir.File("monitor.cfg");
    f.dlg.OnMonitorLoad();
  }
  return 0;
}
