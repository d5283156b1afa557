#include "tests/window/query_list.h"

#include "window/control_list.h"

int QueryInstalledControls() {
  ListEntries names(ListBound);
  int count = CollectInstalledControls(names);
  FillControlList(names);
  return count;
}
