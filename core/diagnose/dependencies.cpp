#include "core/diagnose/dependencies.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "core/diagnose/library_search.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

// One image whose tables are read: the control, then each library found outside the system.
struct Pending {
  wchar_t path[SearchPathCapacity];
  char name[ImportNameCapacity];
  int depth;
};

// Everything of one walk, in one heap block.
struct Walk {
  LibrarySearch search;
  ImageImports imports;
  Pending pending[DependencyCountBound];
  int pendingCount;
  char seen[DependencyCountBound * 4][ImportNameCapacity];  // each name is looked for once
  int seenCount;
};

bool Seen(Walk& walk, const char* name) {
  for (int i = 0; i < walk.seenCount; ++i)
    if (lstrcmpiA(walk.seen[i], name) == 0) return true;
  return false;
}

void NoteMissing(DependencyReport& report, const char* name, const char* importer, bool delayed,
                 bool sideBySide) {
  if (report.missingCount < MissingBound) {
    MissingLibrary& missing = report.missing[report.missingCount];
    CopyText(missing.name, name);
    if (!CopyText(missing.importer, importer)) missing.importer[0] = 0;
    missing.delayed = delayed;
    missing.sideBySide = sideBySide;
  }
  ++report.missingCount;
}

// The file name of a path, in the code page (for the report's importer).
void FileNameOf(const wchar_t* path, char (&name)[ImportNameCapacity]) {
  const wchar_t* last = wcsrchr(path, L'\\');
  if (!WideCharToMultiByte(CP_ACP, 0, last ? last + 1 : path, -1, name, ImportNameCapacity, nullptr,
                           nullptr))
    name[0] = 0;
}

// Looks for each library of one image; libraries found outside the system go on the list.
void LookForImports(Walk& walk, const Pending& image, DependencyReport& report) {
  for (int i = 0; i < walk.imports.count; ++i) {
    const ImportedLibrary& library = walk.imports.libraries[i];
    if (Seen(walk, library.name)) continue;
    if (walk.seenCount < static_cast<int>(std::size(walk.seen))) {
      CopyText(walk.seen[walk.seenCount++], library.name);
    } else {
      report.bounded = true;
    }
    ++report.libraries;
    wchar_t where[SearchPathCapacity];
    Found found = FindLibrary(walk.search, library.name, where);
    if (found == Found::Missing || found == Found::Undecided) {
      NoteMissing(report, library.name, image.name, library.delayed, found == Found::Undecided);
      continue;
    }
    if (found != Found::Elsewhere) continue;
    if (image.depth + 1 > DependencyDepthBound || walk.pendingCount >= DependencyCountBound) {
      report.bounded = true;
      continue;
    }
    Pending& next = walk.pending[walk.pendingCount++];
    CopyText(next.path, where);
    CopyText(next.name, library.name);
    next.depth = image.depth + 1;
  }
}

Verdict Judge(const DependencyReport& report) {
  bool undecided = report.unreadable[0] || report.read != ImportRead::Ok;
  int named = report.missingCount < MissingBound ? report.missingCount : MissingBound;
  for (int i = 0; i < named; ++i) {
    if (!report.missing[i].delayed && !report.missing[i].sideBySide) return Verdict::Problem;
    undecided = true;
  }
  if (report.missingCount > MissingBound) return Verdict::Problem;  // not all named: be plain
  return undecided ? Verdict::Unknown : Verdict::Ok;
}

}  // namespace

void ResolveDependencies(const wchar_t* control, DependencyReport& report) {
  memset(&report, 0, sizeof report);
  report.verdict = Verdict::Unknown;
  report.read = ImportRead::Unreadable;
  UniqueHeap<Walk> block = HeapAllocate<Walk>(1, false);
  if (!block) return;
  Walk& walk = *block.get();
  walk.pendingCount = 0;
  walk.seenCount = 0;
  report.read = ReadImageImports(control, walk.imports);
  report.machine = walk.imports.machine;
  if (report.read != ImportRead::Ok && report.read != ImportRead::Damaged) return;
  if (!PrepareLibrarySearch(control, report.machine, walk.search)) {
    report.read = ImportRead::Unreadable;
    return;
  }
  Pending first = {};
  if (!CopyText(first.path, control)) return;
  FileNameOf(control, first.name);
  LookForImports(walk, first, report);
  // The list grows while it is walked; each entry is read once.
  for (int i = 0; i < walk.pendingCount; ++i) {
    const Pending& image = walk.pending[i];
    ImportRead read = ReadImageImports(image.path, walk.imports);
    if (read != ImportRead::Ok && !report.unreadable[0]) CopyText(report.unreadable, image.name);
    if (read == ImportRead::Ok || read == ImportRead::Damaged) LookForImports(walk, image, report);
  }
  report.verdict = Judge(report);
}

bool FindMissingLibrary(const wchar_t* control, wchar_t (&library)[ImportNameCapacity],
                        wchar_t (&hint)[RuntimeHintCapacity]) {
  library[0] = 0;
  hint[0] = 0;
  UniqueHeap<DependencyReport> block = HeapAllocate<DependencyReport>(1, false);
  if (!block) return false;
  DependencyReport& report = *block.get();
  ResolveDependencies(control, report);
  int named = report.missingCount < MissingBound ? report.missingCount : MissingBound;
  for (int i = 0; i < named; ++i) {
    const MissingLibrary& missing = report.missing[i];
    if (missing.delayed || missing.sideBySide) continue;
    if (!MultiByteToWideChar(CP_ACP, 0, missing.name, -1, library, ImportNameCapacity)) return false;
    RuntimeHint(missing.name, report.machine, hint);
    return true;
  }
  return false;
}
