// SPDX-License-Identifier: GPL-3.0-or-later
// A header click in the trap window with a full trap store (1 499 traps): the real dialog on
// Qt's offscreen platform, sorted by each text column and by the image column. For comparison,
// the same sort by the compare function alone, which looks both rows up by their item data at
// every comparison, as the window sorted before. Goal: under 100 ms per click.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>
#include <cstdio>
#include <memory>
#include <string>

#include "devices/column_sort.h"
#include "settings/trap_window.h"
#include "window/qt_list_control.h"
#include "window/trap_info_dialog.h"

namespace {

using sd::kTrapColumnAddress;
using sd::kTrapColumnEvent;
using sd::kTrapColumnImage;
using sd::kTrapColumnTime;

// 1 499 traps from 50 switches over a day, every third one read.
sd::TrapStore& FullStore() {
  static sd::TrapStore store = [] {
    sd::TrapStore s;
    for (int i = 0; i < static_cast<int>(sd::kTrapsKept); ++i) {
      char time[20], address[20], text[64];
      std::snprintf(time, sizeof time, "12/10/2026 %02d:%02d:%02d", (i * 7) % 24, (i * 13) % 60, (i * 29) % 60);
      std::snprintf(address, sizeof address, "198.18.0.%d", 10 + (i * 17) % 50);
      std::snprintf(text, sizeof text, "Port %d link %s (event %d)", 1 + i % 24, i % 2 ? "up" : "down", (i * 31) % 1499);
      s.Add(time, address, text);
      if (i % 3 == 0) s.SetImage(static_cast<std::size_t>(i), sd::TRAP_IMAGE_READ);
    }
    return s;
  }();
  return store;
}

void BM_TrapWindowHeaderClick(benchmark::State& state) {
  const int column = static_cast<int>(state.range(0));
  sd::gui::CTrap_Info dialog(FullStore());
  if (dialog.List()->topLevelItemCount() != static_cast<int>(sd::kTrapsKept)) state.SkipWithError("not every trap listed");
  for (auto _ : state) emit dialog.List()->header()->sectionClicked(column);
  state.SetLabel(std::to_string(dialog.List()->topLevelItemCount()) + " rows");
}
BENCHMARK(BM_TrapWindowHeaderClick)
    ->Arg(kTrapColumnImage)->Arg(kTrapColumnTime)->Arg(kTrapColumnAddress)->Arg(kTrapColumnEvent)
    ->Unit(benchmark::kMillisecond);

// The same list sorted by the compare function itself, each comparison searching the rows.
void BM_SortByTheCompareFunctionAlone(benchmark::State& state) {
  const int column = static_cast<int>(state.range(0));
  QTreeWidget tree;
  sd::gui::QtListControl list(tree);
  sd::TrapWindow window(FullStore(), list);
  window.OnInitDialog();
  if (list.RowCount() != static_cast<int>(sd::kTrapsKept)) state.SkipWithError("not every trap listed");
  bool ascending = true;
  for (auto _ : state) {
    ascending = !ascending;
    const sd::SortKey key{column, ascending};
    list.SortRows([&](std::uint64_t a, std::uint64_t b) {
      return column == kTrapColumnImage ? sd::CompareByStatusImage(a, b, list, key) : sd::CompareByText(a, b, list, key);
    });
  }
  state.SetLabel(std::to_string(list.RowCount()) + " rows");
}
BENCHMARK(BM_SortByTheCompareFunctionAlone)->Arg(kTrapColumnTime)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
