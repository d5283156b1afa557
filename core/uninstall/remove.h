#pragma once
#include <windows.h>

#include <cstddef>

#include "core/uninstall/classes_view.h"

// What the removal of one control did.
struct RemovalResult {
  bool removed = false;     // the ProgID key is gone and no key the removal set out to delete
                            // is left
  bool progIdGone = false;  // no view that the removal reads holds the ProgID key any more
  int keysDeleted = 0;      // key trees deleted (each with everything below it)
  int keysLeft = 0;         // key trees of the control that could not be deleted
  LONG error = ERROR_SUCCESS;  // the system's code for the first key left, where it gave one
};

// Removes the registration of the control with this ProgID from the machine's classes.
RemovalResult RemoveControl(const wchar_t* progId);
// True for a text that names exactly one direct subkey: not empty, no backslash, short
// enough for a key name (at most 255 characters). Anything else would make a path name another
// key (an empty CLSID turns "CLSID\\" + CLSID into the whole CLSID key, an empty ProgID names
// the root).
bool IsKeyName(const wchar_t* text);

// The same removal with the route chosen by the caller: wow64 true is the route of a 32-bit
// process on 64-bit Windows (the class key of the 32-bit view, the interfaces of both views,
// the ProgID and file types wherever the views differ). RemoveControl passes DetectWow64().
RemovalResult RemoveControlInView(const wchar_t* progId, bool wow64);

// Default values are read into a buffer of this many characters; a longer value reads as
// empty, never as a cut text.
constexpr size_t DefaultValueCapacity = 256;
// The default value of the key at path below the machine's classes of the view, or an empty
// text when there is none, it is no string (REG_SZ or REG_EXPAND_SZ) or it does not fit: a
// value of up to capacity - 2 characters.
void ReadDefaultValue(const ClassesView& classes, const wchar_t* path, wchar_t* value,
                      size_t capacity);
// The same in the process's own view.
void ReadDefaultValue(const wchar_t* path, wchar_t (&value)[DefaultValueCapacity]);
void ReadDefaultValue(const wchar_t* path, wchar_t* value, size_t capacity);

// Two controls whose registration is removed with fixed keys. On 64-bit Windows the class
// key is the one of the 32-bit view, and the type library goes in both views.
struct SpecialControl {
  const wchar_t* progId;
  const wchar_t* typeLibPath;  // "TypeLib\\" and the type-library GUID
  const wchar_t* classPath;    // "CLSID\\" and the CLSID
};
constexpr SpecialControl SpecialControls[] = {
    {L"Vorn.LargeDataUploader", L"TypeLib\\{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}",
     L"CLSID\\{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}"},
    {L"VORN.SafeSealSvcCtlMem", L"TypeLib\\{C7A94E3B-18D2-4B65-8E21-7C05D93A4F18}",
     L"CLSID\\{C7A94E3D-18D2-4b65-8E21-7C05D93A4F18}"},
};
void RemoveSpecialControl(const SpecialControl& row, bool wow64, RemovalResult& result);
