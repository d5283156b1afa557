// Files planted where the program must never look for them (its own folder, its current
// directory): each leaves "<name>.ran" beside itself when it is run or loaded.
#pragma once
#include <string>

// Sets (or removes) Wine's override that makes ctlwarden.exe look for cabinet.dll as Windows
// does, the program's own folder first, before taking Wine's built-in copy. It is set in
// Wine's registry: Wine reads WINEDLLOVERRIDES from the Unix environment only, not from the
// environment a Windows parent passes to its child.
bool PreferNativeCabinet(bool prefer);
// Deletes the files of folder (not what lies below it).
void EmptyFolder(const std::wstring& folder);
// The markers the planted files left in folder, each name followed by a blank; "" for none.
std::wstring MarkersIn(const std::wstring& folder);
