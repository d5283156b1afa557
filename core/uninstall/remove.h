#pragma once
#include <windows.h>

#include <cstddef>

// Removes the registration of the control with this ProgID; always 1.
int RemoveControl(const wchar_t* progId);
// True for a text that names exactly one direct subkey: not empty, no backslash, short
// enough for a key name (at most 255 characters). Anything else would make a path name another
// key (an empty CLSID turns "CLSID\\" + CLSID into the whole CLSID key, an empty ProgID names
// the root).
bool IsKeyName(const wchar_t* text);
// True when this is a 32-bit process on 64-bit Windows.
bool DetectWow64();

// The same removal with the registry view chosen by the caller: wow64 true removes the class
// key of the 32-bit view ("Wow6432Node\\CLSID\\..."), as a 32-bit process on 64-bit Windows
// must. RemoveControl passes DetectWow64().
int RemoveControlInView(const wchar_t* progId, bool wow64);

// Default values are read into a buffer of this many characters; a longer value reads as
// empty, never as a cut text.
constexpr size_t DefaultValueCapacity = 256;
// The default value of the key at path below HKEY_CLASSES_ROOT, or an empty text when there
// is none, it is no string (REG_SZ or REG_EXPAND_SZ) or it does not fit.
void ReadDefaultValue(const wchar_t* path, wchar_t (&value)[DefaultValueCapacity]);
// The same into a buffer of capacity characters: a value of up to capacity - 2 characters.
void ReadDefaultValue(const wchar_t* path, wchar_t* value, size_t capacity);

// Two controls whose registration is removed with fixed keys.
struct SpecialControl {
  const wchar_t* progId;
  const wchar_t* typeLibPath;     // "TypeLib\\" and the type-library GUID
  const wchar_t* classPath;       // "CLSID\\" and the CLSID
  const wchar_t* wowClassPath;    // the same in the 32-bit view of 64-bit Windows
  const wchar_t* wowTypeLibPath;  // likewise
};
constexpr SpecialControl SpecialControls[] = {
    {L"Vorn.LargeDataUploader", L"TypeLib\\{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}",
     L"CLSID\\{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}",
     L"Wow6432Node\\CLSID\\{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}",
     L"Wow6432Node\\TypeLib\\{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}"},
    {L"VORN.SafeSealSvcCtlMem", L"TypeLib\\{C7A94E3B-18D2-4B65-8E21-7C05D93A4F18}",
     L"CLSID\\{C7A94E3D-18D2-4b65-8E21-7C05D93A4F18}",
     L"Wow6432Node\\CLSID\\{C7A94E3D-18D2-4b65-8E21-7C05D93A4F18}",
     L"Wow6432Node\\TypeLib\\{C7A94E3B-18D2-4B65-8E21-7C05D93A4F18}"},
};
void RemoveSpecialControl(const SpecialControl& row, bool wow64);
