// /list and /verify: what is installed of the maker's controls, for an administrator and for
// the detection rules of deployment tools. Standard output gets the list alone.
#include <windows.h>

#include "unattended/exit_codes.h"
#include "unattended/json_text.h"
#include "unattended/run_log.h"
#include "unattended/run_output.h"
#include "unattended/unattended_steps.h"
#include "platform/text.h"
#include "platform/unique.h"
#include "core/uninstall/inventory.h"
#include "core/uninstall/query.h"

namespace {

// One entry's text: every field JSON-escaped at most six characters to one.
constexpr size_t EntryTextCapacity =
    6 * (2 * InventoryNameCapacity + InventoryFileCapacity + InventoryVersionCapacity) + 256;

struct EntryText {
  wchar_t text[EntryTextCapacity];
  size_t used;
};

void Put(EntryText& out, const wchar_t* text) {
  for (size_t i = 0; text[i] && out.used + 1 < EntryTextCapacity; ++i) out.text[out.used++] = text[i];
  out.text[out.used] = 0;
}

void PutJsonString(EntryText& out, const wchar_t* text) {
  ::PutJsonString(out.text, EntryTextCapacity, out.used, text);
}

const wchar_t* ViewText(int view) { return view == 64 ? L"64" : view == 32 ? L"32" : L""; }

// A tab-separated line; no field holds a tab (a key name or a path cannot, and a version is
// digits and dots). A value that does hold one shows as a blank.
void PutField(EntryText& out, const wchar_t* text) {
  for (size_t i = 0; text[i] && out.used + 1 < EntryTextCapacity; ++i)
    out.text[out.used++] = text[i] == L'\t' || text[i] == L'\r' || text[i] == L'\n' ? L' ' : text[i];
  out.text[out.used] = 0;
}

void DetailsLine(EntryText& out, const InstalledControl& control) {
  out.used = 0;
  out.text[0] = 0;
  PutField(out, control.progId);
  Put(out, L"\t");
  PutField(out, control.clsid);
  Put(out, L"\t");
  Put(out, ViewText(control.view));
  Put(out, L"\t");
  PutField(out, control.file);
  Put(out, L"\t");
  Put(out, control.present ? L"yes" : L"no");
  Put(out, L"\t");
  PutField(out, control.version);
  Put(out, L"\r\n");
}

void JsonObject(EntryText& out, const InstalledControl& control, bool first) {
  out.used = 0;
  out.text[0] = 0;
  Put(out, first ? L"  {" : L",\r\n  {");
  Put(out, L"\"progId\": ");
  PutJsonString(out, control.progId);
  Put(out, L", \"clsid\": ");
  PutJsonString(out, control.clsid);
  Put(out, L", \"view\": ");
  if (control.view) PutJsonString(out, ViewText(control.view)); else Put(out, L"null");
  Put(out, L", \"file\": ");
  PutJsonString(out, control.file);
  Put(out, control.present ? L", \"present\": true" : L", \"present\": false");
  Put(out, L", \"version\": ");
  PutJsonString(out, control.version);
  Put(out, L"}");
}

struct Listing {
  RunRecord& run;
  ListFormat format;
  int count;
  EntryText* entry;
};

void ListOne(const InstalledControl& control, void* context) {
  auto* listing = static_cast<Listing*>(context);
  RunRecord& run = listing->run;
  if (listing->format == ListFormat::Json) {
    JsonObject(*listing->entry, control, listing->count == 0);
  } else {
    DetailsLine(*listing->entry, control);
  }
  WriteToConsole(listing->entry->text);
  ++listing->count;
  LogEvent(run, L"list", control.progId, Outcome::Info, control.file[0] ? control.file : nullptr);
  CountItem(run, true);
}

void ListName(const wchar_t* progId, void* context) {
  RunRecord& run = *static_cast<RunRecord*>(context);
  WriteToConsole(progId);
  WriteToConsole(L"\r\n");
  LogEvent(run, L"list", progId, Outcome::Info, nullptr);
  CountItem(run, true);
}

// What is missing of a control, for the log: the first part of ProgID -> CLSID ->
// InprocServer32 -> file that is not there.
void DescribeMissing(const InstalledControl& control, EntryText& out) {
  out.used = 0;
  out.text[0] = 0;
  switch (control.state) {
    case ControlState::NoProgId: Put(out, L"not installed: there is no ProgID key"); break;
    case ControlState::NoClsid: Put(out, L"not installed: the ProgID has no CLSID"); break;
    case ControlState::NoServer:
      Put(out, L"not installed: no CLSID\\");
      Put(out, control.clsid);
      Put(out, L"\\InprocServer32 in the ");
      Put(out, ViewText(OwnRegistryView()));
      Put(out, L"-bit registry view");
      break;
    case ControlState::FileTooLong: Put(out, L"the InprocServer32 path is too long to check"); break;
    case ControlState::FileMissing:
      Put(out, L"the file is missing: ");
      Put(out, control.file);
      break;
    default: break;
  }
}

// The listed name an item stands for (registry names ignore letter case); empty when the query
// does not list it.
struct Lookup {
  const wchar_t* item;
  wchar_t found[InventoryNameCapacity];
};

void Match(const wchar_t* progId, void* context) {
  auto* lookup = static_cast<Lookup*>(context);
  if (!lookup->found[0] && CompareStringOrdinal(progId, -1, lookup->item, -1, TRUE) == CSTR_EQUAL)
    CopyText(lookup->found, progId);
}

}  // namespace

int ListControls(RunRecord& run, ListFormat format) {
  if (format == ListFormat::Names) {
    ForEachInstalledControl(ListName, &run);
    return ExitSuccess;
  }
  UniqueHeap<EntryText> entry = HeapAllocate<EntryText>(1, false);
  if (!entry) {
    LogEvent(run, L"list", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  if (format == ListFormat::Details) WriteToConsole(L"progId\tclsid\tview\tfile\tpresent\tversion\r\n");
  if (format == ListFormat::Json) WriteToConsole(L"[\r\n");
  Listing listing = {run, format, 0, entry.get()};
  int found = ForEachInventoryEntry(ListOne, &listing);
  if (format == ListFormat::Json) WriteToConsole(listing.count ? L"\r\n]\r\n" : L"]\r\n");
  if (found < 0) {
    LogEvent(run, L"list", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  return ExitSuccess;
}

int VerifyControls(RunRecord& run, wchar_t* const* progIds, int count) {
  UniqueHeap<InstalledControl> owned = HeapAllocate<InstalledControl>(static_cast<SIZE_T>(count), false);
  UniqueHeap<EntryText> entry = HeapAllocate<EntryText>(1, false);
  InstalledControl* controls = owned.get();
  if (!controls || !entry) {
    LogEvent(run, L"verify", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  bool valid = true, complete = true;
  for (int i = 0; i < count; ++i) {
    Lookup lookup = {progIds[i], L""};
    ForEachInstalledControl(Match, &lookup);
    // Only the maker's ProgIDs: a name the query would never list is no question for this
    // program, unless nothing of that name is registered at all.
    ReadInstalledControl(lookup.found[0] ? lookup.found : progIds[i], false, controls[i]);
    if (!lookup.found[0] && controls[i].state != ControlState::NoProgId) {
      LogEvent(run, L"check", progIds[i], Outcome::Failed, L"not a ProgID of the maker's controls");
      valid = false;
      continue;
    }
    if (controls[i].state == ControlState::Complete) {
      LogEvent(run, L"verify", controls[i].progId, Outcome::Ok, controls[i].file);
      CountItem(run, true);
    } else {
      DescribeMissing(controls[i], *entry.get());
      LogEvent(run, L"verify", progIds[i], Outcome::Failed, entry.get()->text);
      CountItem(run, false);
      complete = false;
    }
  }
  // Standard output names the controls only when every one is installed: a detection script
  // takes any output as "installed".
  if (valid && complete) {
    for (int i = 0; i < count; ++i) {
      DetailsLine(*entry.get(), controls[i]);
      WriteToConsole(entry.get()->text);
    }
  }
  if (!valid) return ExitInvalidCommandLine;
  return complete ? ExitSuccess : ExitNotInstalled;
}
