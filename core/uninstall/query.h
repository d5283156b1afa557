#pragma once

// Calls found once for each of the maker's ProgIDs among the direct subkeys of the machine's
// classes (HKEY_LOCAL_MACHINE\Software\Classes), in the order the registry gives them, in the
// views that RemoveControl reads; returns their number.
int ForEachInstalledControl(void (*found)(const wchar_t* progId, void* context), void* context);
// The same for the route chosen by the caller: wow64 true lists the 64-bit view, then the
// names of the 32-bit view that the 64-bit one does not hold (as RemoveControlInView reads).
int ForEachInstalledControlInView(bool wow64,
                                  void (*found)(const wchar_t* progId, void* context),
                                  void* context);

// True when the name begins with one of the maker's ProgID prefixes ("VORN.", "PDF.V",
// "Vorn."), compared byte for byte in the ANSI code page.
bool HasVendorPrefix(const wchar_t* name);
