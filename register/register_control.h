#pragma once
#include <windows.h>

#include <cstddef>

// Probes the control at path by loading it, then starts "cmd.exe /c regsvr32 /s "path"",
// hidden, without waiting. True when the command was launched.
bool RegisterControlFile(const wchar_t* path, HWND window);

// True when the command interpreter could read part of the path as a variable to expand:
// it holds two or more '%'. Such a path is refused with a message box.
bool CmdWouldRewrite(const wchar_t* path);

// Room for the command parameters of any dropped path (at most 999 characters): the 17
// characters of the command and the quotation marks, the path, the terminator.
constexpr size_t RegisterParametersCapacity = 17 + 999 + 1;

// "/c regsvr32 /s " and the path between quotation marks. False (out emptied) when the
// path does not fit whole into cap characters.
bool BuildRegisterParameters(const wchar_t* path, wchar_t* out, size_t cap);
