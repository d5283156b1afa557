#pragma once

// Refills ControlList with every direct subkey of HKEY_CLASSES_ROOT that begins with one of
// the maker's ProgID prefixes; returns the number of names added.
int QueryInstalledControls();
