#pragma once

// Refills ControlList with every direct subkey of HKEY_CLASSES_ROOT that begins with one of
// the maker's ProgID prefixes; returns the number of names added.
int QueryInstalledControls();

// The same search without the list: calls found once for each of the maker's ProgIDs, in the
// order the registry gives them; returns their number.
int ForEachInstalledControl(void (*found)(const wchar_t* progId, void* context), void* context);

// True when the name begins with one of the maker's ProgID prefixes ("VORN.", "PDF.V",
// "Vorn."), compared byte for byte in the ANSI code page.
bool HasVendorPrefix(const wchar_t* name);
