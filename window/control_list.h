// The uninstall view's list of the maker's controls: found beside the window's thread, shown
// on it.
#pragma once
#include "platform/growing_array.h"

// Room for any registry key name (255 characters) and its terminator.
constexpr int EntryCapacity = 256;
struct ListEntry {
  wchar_t name[EntryCapacity];
};
// The most names a query keeps.
constexpr size_t ListBound = 65536;
using ListEntries = GrowingArray<ListEntry>;

// The maker's ProgIDs as the removal finds them (ForEachInstalledControl), appended to names in
// the registry's order; returns how many the walk found (names holds fewer only when memory or
// the bound ran out). Touches no window.
int CollectInstalledControls(ListEntries& names);
// Empties ControlList and fills it with names, drawn once, complete. On the window's thread.
void FillControlList(const ListEntries& names);
