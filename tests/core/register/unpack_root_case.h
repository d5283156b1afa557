// What the tests of the unpack root and of its clean-up share: the root's names, and making,
// looking at and removing what may stand at them (folders, files, Unix symbolic links, which
// Wine shows as reparse points).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

extern const std::wstring Root;         // C:\VornActiveX
extern const std::wstring Saved;        // where a case keeps the machine's own root
extern const std::wstring AsidePrefix;  // the names a moved-aside root gets
extern const std::wstring Away;         // where a case moves the root to

bool IsDirectory(const std::wstring& path);
bool IsReparsePoint(const std::wstring& path);
// The names beside the root that a moved-aside root got.
std::vector<std::wstring> MovedAsideRoots();
// Every entry of a folder, folders with a trailing "\", sorted.
std::vector<std::wstring> EntriesIn(const std::wstring& folder);
// Makes link a Unix symbolic link to target; false where that is not possible.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target);
// Removes a link itself, never its target.
void RemoveLink(const std::wstring& path);
// True when the system opens a link itself under FILE_FLAG_OPEN_REPARSE_POINT (Windows).
bool OpensLinksThemselves(const std::wstring& link);
// Deletes a file or a folder with everything in it; a link is deleted itself, never entered.
void DeleteTree(const std::wstring& path);
// The path with backslashes and without a trailing one.
std::wstring Backslashed(std::wstring path);
// True when the file system keeps an owner that is set (Windows); Wine 8 shows the token's
// user as the owner of every file, whatever is set.
bool SystemKeepsOwners();
