// Registry helpers for tests that work on the real (Wine's) HKEY_CLASSES_ROOT.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Creates the key (and its parents) below HKEY_CLASSES_ROOT; sets its default value if given.
bool PutKey(const std::wstring& path, const wchar_t* defaultValue = nullptr);
bool KeyExists(const std::wstring& path);
// Creates a chain of keys below parent, one per name, through handles relative to each
// level, so that the full path may be longer than any path the registry takes at once.
bool PutChain(const std::wstring& parent, const std::vector<std::wstring>& names);
// Deletes the key with everything below it; a missing key is fine.
void RemoveTree(const std::wstring& path);
// A sorted listing of the key and every key below it with their default values, one line
// per key: "path=value" (or "path" without a value). Empty when the key does not exist.
std::wstring ExportTree(const std::wstring& path);
// Appends one line per key, for key (named path) and every key below it, unsorted.
void CollectKeys(HKEY key, const std::wstring& path, std::vector<std::wstring>& lines);
