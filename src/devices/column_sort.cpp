#include "devices/column_sort.h"

#include <string>

namespace sd {

namespace {

constexpr int kDiscoveryLastTextColumn = 9;
constexpr int kMonitorStatusColumn = 0;
constexpr int kMonitorLastTextColumn = 10;

int Ordered(int ascending_result, bool ascending) {
  return ascending ? ascending_result : -ascending_result;
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

ColumnSorter::ColumnSorter(IListControl& discovery_list, IListControl& monitor_list)
    : discovery_list_(discovery_list), monitor_list_(monitor_list) {}

void ColumnSorter::OnColumnClickDiscovery(int column) {
  Flip();
  if (column < 0 || column > kDiscoveryLastTextColumn) return;
  const SortKey key{column, ascending_};
  discovery_list_.SortRows([this, key](std::uint64_t a, std::uint64_t b) {
    return CompareByText(a, b, discovery_list_, key);
  });
}

void ColumnSorter::OnColumnClickMonitor(int column) {
  Flip();
  if (column < 0 || column > kMonitorLastTextColumn) return;
  const SortKey key{column, ascending_};
  if (column == kMonitorStatusColumn) {
    monitor_list_.SortRows([this, key](std::uint64_t a, std::uint64_t b) {
      return CompareByStatusImage(a, b, monitor_list_, key);
    });
  } else {
    monitor_list_.SortRows([this, key](std::uint64_t a, std::uint64_t b) {
      return CompareByText(a, b, monitor_list_, key);
    });
  }
}

}  // namespace sd
