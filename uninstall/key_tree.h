#pragma once
#include <windows.h>

// Deletes the key at path below HKEY_CLASSES_ROOT with everything below it.
// 1 when this call deleted it, 0 otherwise (never deletes the root or a cut path).
int DeleteClassesRootTree(const wchar_t* path);
// Deletes each direct subkey of keyName whose GUID name agrees with typeLib in all groups
// but the first (after the family's letter-case fixes of typeLib).
void SweepGuidKeys(const wchar_t* progId, const wchar_t* typeLib, const wchar_t* keyName);
