#pragma once

// Refills ControlList with every direct subkey of HKEY_CLASSES_ROOT that begins with one of
// the maker's ProgID prefixes; returns the number of names added.
int QueryInstalledControls();

// True when the name begins with one of the maker's ProgID prefixes ("VORN.", "PDF.V",
// "Vorn."), compared byte for byte in the ANSI code page.
bool HasVendorPrefix(const wchar_t* name);
