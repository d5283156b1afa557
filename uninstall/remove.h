#pragma once

// Removes the registration of the control with this ProgID; always 1.
int RemoveControl(const wchar_t* progId);
// True when this is a 32-bit process on 64-bit Windows.
bool DetectWow64();
