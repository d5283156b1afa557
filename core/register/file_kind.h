// What a file is by the end of its name. Windows names ignore case, so do the endings:
// A.OCX and x.Dll are controls, PACK.CAB a cabinet.
#pragma once

// ".ocx" or ".dll" in any case.
bool IsControl(const wchar_t* path);
// ".cab" in any case.
bool IsCabinet(const wchar_t* path);
