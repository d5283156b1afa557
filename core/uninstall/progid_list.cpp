#include "core/uninstall/progid_list.h"

#include "core/uninstall/classes_view.h"
#include "core/uninstall/query.h"
#include "core/uninstall/remove.h"
#include "platform/text.h"

namespace {

void Collect(const wchar_t* progId, void* context) {
  AppendProgId(*static_cast<ProgIdList*>(context), progId);
}

// Whether a key of this name exists in the machine's classes, in either view: what the removal
// can act on. The user's own classes decide nothing here.
bool KeyExists(const wchar_t* path) {
  ClassesView own(RegistryView::Own);
  if (KeyExistsIn(own, path)) return true;
  ClassesView other(sizeof(void*) == 8 ? RegistryView::Bits32 : RegistryView::Bits64);
  return KeyExistsIn(other, path);
}

}  // namespace

void AppendProgId(ProgIdList& list, const wchar_t* progId) {
  ProgIdName name;
  if (!CopyText(name.text, progId)) return;
  if (!list.names.Append(name)) list.complete = false;
}

bool ListsProgId(const ProgIdList& list, const wchar_t* progId) {
  for (size_t i = 0; i < list.names.Size(); ++i)
    if (CompareStringOrdinal(list.names[i].text, -1, progId, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

bool CollectInstalledControls(ProgIdList& list) {
  ForEachInstalledControl(Collect, &list);
  return list.complete;
}

bool ResolveProgId(const wchar_t* item, const ProgIdList& installed,
                   wchar_t (&target)[InventoryNameCapacity]) {
  target[0] = 0;
  if (!IsKeyName(item)) return false;
  for (size_t i = 0; i < installed.names.Size(); ++i) {
    if (CompareStringOrdinal(installed.names[i].text, -1, item, -1, TRUE) == CSTR_EQUAL) {
      CopyText(target, installed.names[i].text);
      return true;
    }
  }
  return !KeyExists(item);
}
