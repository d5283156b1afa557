// The maker's ProgIDs as the query lists them, and which of them a ProgID named by an
// administrator (on the command line) stands for.
#pragma once
#include <windows.h>

#include "core/uninstall/inventory.h"
#include "platform/growing_array.h"

struct ProgIdName {
  wchar_t text[InventoryNameCapacity];
};

// Far more than any machine holds of one maker; a walk that passes it is incomplete.
constexpr size_t ProgIdListBound = 1 << 20;

struct ProgIdList {
  GrowingArray<ProgIdName> names{ProgIdListBound, 64};
  bool complete = true;  // false: a name could not be added (no memory)
};

// Appends progId (at most 255 characters; a longer text is skipped).
void AppendProgId(ProgIdList& list, const wchar_t* progId);
// True when the list holds progId, in any letter case.
bool ListsProgId(const ProgIdList& list, const wchar_t* progId);
// The maker's ProgIDs in the order the query finds them (ForEachInstalledControl); false
// when memory ran out (list.complete is false then).
bool CollectInstalledControls(ProgIdList& list);

// The listed name a ProgID named by an administrator stands for (registry names ignore letter
// case), in target; an empty target for a name that is not installed. False for a name the
// uninstall view could never remove: no key name, or a key of another maker in either view of
// the machine's classes.
bool ResolveProgId(const wchar_t* item, const ProgIdList& installed,
                   wchar_t (&target)[InventoryNameCapacity]);
