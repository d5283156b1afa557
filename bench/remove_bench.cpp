// Remove-all: RemoveControl for every listed control, each removal sweeping Interface twice
// and TypeLib once.
#include <cstdio>
#include <cwchar>
#include <vector>

#include "bench/benches.h"
#include "bench/registry_data.h"
#include "bench/timing.h"
#include "core/uninstall/remove.h"
#include "platform/unique.h"

namespace {

constexpr char Section[] = "remove";
constexpr int Controls = 50;
constexpr DWORD InterfaceKeys = 20000;
constexpr DWORD TypeLibKeys = 3000;
constexpr int InterfacesPerControl = 2;

void InterfaceName(unsigned index, wchar_t* name, size_t capacity) {
  GuidText(0x1000000ull + index, name, capacity);
}

void TypeLibName(unsigned index, wchar_t* name, size_t capacity) {
  GuidText(0x2000000ull + index, name, capacity);
}

struct Control {
  wchar_t progId[64];
  wchar_t clsid[40];
  wchar_t typeLib[40];
  wchar_t interfaces[InterfacesPerControl][40];
};

std::vector<Control> MakeControls() {
  std::vector<Control> controls(Controls);
  for (int c = 0; c < Controls; ++c) {
    Control& control = controls[c];
    swprintf(control.progId, 64, L"%lsRmBench%02d", MakerPrefixes[c % 3], c);
    GuidText(0x3000000ull + c, control.clsid, 40);
    GuidText(0x4000000ull + c, control.typeLib, 40);
    for (int i = 0; i < InterfacesPerControl; ++i) {
      // An interface of the control's type library: only the first group differs.
      GuidText(0x5000000ull + c * InterfacesPerControl + i, control.interfaces[i], 40);
      wcscpy(control.interfaces[i] + 9, control.typeLib + 9);
    }
  }
  return controls;
}

// The registration that regsvr32 would leave for one control.
void RegisterControlKeys(const Control& control) {
  wchar_t path[256];
  PutKey(control.progId, L"Bench control");
  swprintf(path, 256, L"%ls\\CLSID", control.progId);
  PutKey(path, control.clsid);
  swprintf(path, 256, L"CLSID\\%ls", control.clsid);
  PutKey(path, L"Bench control");
  swprintf(path, 256, L"CLSID\\%ls\\InprocServer32", control.clsid);
  PutKey(path, L"C:\\bench\\control.ocx");
  swprintf(path, 256, L"CLSID\\%ls\\ProgID", control.clsid);
  PutKey(path, control.progId);
  swprintf(path, 256, L"CLSID\\%ls\\Control", control.clsid);
  PutKey(path);
  swprintf(path, 256, L"CLSID\\%ls\\TypeLib", control.clsid);
  PutKey(path, control.typeLib);
  for (const wchar_t* iface : control.interfaces) {
    swprintf(path, 256, L"Interface\\%ls\\ProxyStubClsid32", iface);
    PutKey(path, L"{00020424-0000-0000-C000-000000000046}");
    swprintf(path, 256, L"Interface\\%ls\\TypeLib", iface);
    PutKey(path, control.typeLib);
  }
  swprintf(path, 256, L"TypeLib\\%ls\\1.0\\0\\win32", control.typeLib);
  PutKey(path, L"C:\\bench\\control.ocx");
  swprintf(path, 256, L"TypeLib\\%ls\\1.0\\FLAGS", control.typeLib);
  PutKey(path, L"2");
}

// Keys of the control still present after its removal (0 when everything went).
int Leftovers(const Control& control) {
  wchar_t path[256];
  int left = KeyExists(control.progId);
  swprintf(path, 256, L"CLSID\\%ls", control.clsid);
  left += KeyExists(path);
  swprintf(path, 256, L"TypeLib\\%ls", control.typeLib);
  left += KeyExists(path);
  for (const wchar_t* iface : control.interfaces) {
    swprintf(path, 256, L"Interface\\%ls", iface);
    left += KeyExists(path);
  }
  return left;
}

void ReadDefault(const wchar_t* path) {
  wchar_t value[255] = {};
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  LONG bytes = sizeof value;
  RegQueryValueW(key.get(), nullptr, value, &bytes);
}

DWORD EnumerateKey(const wchar_t* path) {
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
  wchar_t name[256];
  DWORD index = 0;
  for (;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
  }
  return index;
}

// The floor of one removal: what any removal that follows the rules has to read.
void FloorRemoval(const Control& control) {
  wchar_t typeLibPath[256];
  swprintf(typeLibPath, 256, L"CLSID\\%ls\\TypeLib", control.clsid);
  ReadDefault(typeLibPath);
  EnumerateKey(L"Interface");
  ReadDefault(typeLibPath);
  EnumerateKey(L"Interface");
  ReadDefault(typeLibPath);
  EnumerateKey(L"TypeLib");
}

}  // namespace

int RunRemoveBench(int runs) {
  double start = NowMs();
  // The controls' own keys make up the rest of the totals.
  if (FillSubkeys(L"Interface", InterfaceKeys - Controls * InterfacesPerControl, InterfaceName) <
          0 ||
      FillSubkeys(L"TypeLib", TypeLibKeys - Controls, TypeLibName) < 0) {
    Note(Section, "could not fill Interface and TypeLib");
    return 1;
  }
  std::vector<Control> controls = MakeControls();
  for (const Control& control : controls) RegisterControlKeys(control);
  Note(Section, "Interface has %lu subkeys, TypeLib %lu, with %d controls registered (%.0f ms)",
       static_cast<unsigned long>(CountSubkeys(L"Interface")),
       static_cast<unsigned long>(CountSubkeys(L"TypeLib")), Controls, NowMs() - start);

  int status = 0;
  std::vector<double> floor, product;
  for (int run = 0; run < runs; ++run) {
    for (const Control& control : controls) RegisterControlKeys(control);
    PutKey(L".zco", L"Vorn.Document");
    PutKey(L".zxd", L"Vorn.Document");
    double t0 = NowMs();
    for (const Control& control : controls) FloorRemoval(control);
    double t1 = NowMs();
    for (const Control& control : controls) RemoveControl(control.progId);
    double t2 = NowMs();
    floor.push_back(t1 - t0);
    product.push_back(t2 - t1);
    int left = 0;
    for (const Control& control : controls) left += Leftovers(control);
    if (left || KeyExists(L".zco") || KeyExists(L".zxd")) {
      Note(Section, "run %d: %d keys of the removed controls are left", run, left);
      status = 1;
    }
  }
  Report(Section, "floor", "3 value reads + 3 enumerations per control (floor)", "ms", floor);
  Report(Section, "product", "RemoveControl x 50", "ms", product);
  return status;
}
