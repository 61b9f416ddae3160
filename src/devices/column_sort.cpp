// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/column_sort.h"

#include <string>
#include <unordered_map>

namespace sd {

namespace {

constexpr int kDiscoveryLastTextColumn = 9;
constexpr int kMonitorStatusColumn = 0;
constexpr int kMonitorLastTextColumn = 10;

int Ordered(int ascending_result, bool ascending) {
  return ascending ? ascending_result : -ascending_result;
}

// What `read` gives for the first row of each item data.
template <typename Value, typename Read>
std::unordered_map<std::uint64_t, Value> FirstRowValues(const IListControl& list, Read read) {
  std::unordered_map<std::uint64_t, Value> values;
  const int rows = list.RowCount();
  values.reserve(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) values.try_emplace(list.ItemData(row), read(row));
  return values;
}

}  // namespace

int CompareByText(std::uint64_t first, std::uint64_t second, const IListControl& list,
                  const SortKey& key) {
  const std::string a = list.Text(FindRowByItemData(list, first), key.column);
  const std::string b = list.Text(FindRowByItemData(list, second), key.column);
  // std::string compares its chars as unsigned bytes.
  const int c = a.compare(b);
  return Ordered((c > 0) - (c < 0), key.ascending);
}

int CompareByStatusImage(std::uint64_t first, std::uint64_t second, const IListControl& list,
                         const SortKey& key) {
  const int a = list.Image(FindRowByItemData(list, first));
  const int b = list.Image(FindRowByItemData(list, second));
  return Ordered((a > b) - (a < b), key.ascending);
}

void SortRowsByText(IListControl& list, const SortKey& key) {
  const auto texts = FirstRowValues<std::string>(list, [&](int row) { return list.Text(row, key.column); });
  list.SortRows([&](std::uint64_t first, std::uint64_t second) {
    const int c = texts.at(first).compare(texts.at(second));
    return Ordered((c > 0) - (c < 0), key.ascending);
  });
}

void SortRowsByStatusImage(IListControl& list, const SortKey& key) {
  const auto images = FirstRowValues<int>(list, [&](int row) { return list.Image(row); });
  list.SortRows([&](std::uint64_t first, std::uint64_t second) {
    const int a = images.at(first);
    const int b = images.at(second);
    return Ordered((a > b) - (a < b), key.ascending);
  });
}

ColumnSorter::ColumnSorter(IListControl& discovery_list, IListControl& monitor_list)
    : discovery_list_(discovery_list), monitor_list_(monitor_list) {}

void ColumnSorter::OnColumnClickDiscovery(int column) {
  Flip();
  if (column < 0 || column > kDiscoveryLastTextColumn) return;
  const SortKey key{column, ascending_};
  SortRowsByText(discovery_list_, key);
}

void ColumnSorter::OnColumnClickMonitor(int column) {
  Flip();
  if (column < 0 || column > kMonitorLastTextColumn) return;
  const SortKey key{column, ascending_};
  if (column == kMonitorStatusColumn) {
    SortRowsByStatusImage(monitor_list_, key);
  } else {
    SortRowsByText(monitor_list_, key);
  }
}

}  // namespace sd
