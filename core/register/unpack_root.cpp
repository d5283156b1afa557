#include "core/register/unpack_root.h"

#include <sddl.h>
#include <aclapi.h>

#include <cstdio>
#include <ctime>

#include "platform/admin_only.h"
#include "platform/text.h"

namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// NT SERVICE\TrustedInstaller, which owns the system's own files; it has no well-known type.
bool IsTrustedInstaller(PSID sid) {
  UniqueLocal<PSID> installer;
  if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                              installer.put())) {
    installer.release();  // nothing was allocated
    return false;
  }
  return EqualSid(sid, installer.get()) != FALSE;
}

// Whether the file system keeps an owner that is set: the owner is set to Administrators
// through the handle and read back. Windows (NTFS) keeps it, and then the owner read before
// was real; Wine shows the token's user whatever is set, and such a system, which has no file
// ACLs either, cannot tell an owner at all.
bool KeepsOwners(HANDLE root, PSID administrators) {
  if (SetSecurityInfo(root, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, administrators, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS)
    return true;  // not shown otherwise: the owner read before stands
  PSID owner = nullptr;
  UniqueSecurityDescriptor current;
  return GetSecurityInfo(root, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                         nullptr, nullptr, current.put()) != ERROR_SUCCESS ||
         !owner || EqualSid(owner, administrators);
}

// Share read and write (other copies of the program and regsvr32 read below the root), never
// delete: while the handle is open, no one can rename or delete the root, so its name keeps
// naming the directory that was checked.
constexpr DWORD RootShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD RootFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

UniqueCreateFileHandle OpenRoot(const wchar_t* root, DWORD access) {
  return UniqueCreateFileHandle(
      CreateFileW(root, access, RootShare, nullptr, OPEN_EXISTING, RootFlags, nullptr));
}

// The kind of object a handle is open on, or what a name shows, as far as it matters here.
constexpr DWORD KindBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

DWORD KindOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes & KindBits
                                                   : INVALID_FILE_ATTRIBUTES;
}

// True when the handle is open on what the name shows. Windows opens a link itself under
// FILE_FLAG_OPEN_REPARSE_POINT, so the handle alone tells; Wine 8 opens a Unix symbolic
// link's target all the same and shows the link only by its name, so the name must agree.
bool HandleIsTheName(HANDLE handle, const wchar_t* name) {
  DWORD kind = KindOf(handle), named = GetFileAttributesW(name);
  return kind != INVALID_FILE_ATTRIBUTES && named != INVALID_FILE_ATTRIBUTES &&
         kind == (named & KindBits);
}

// A plain directory, owned by an owner the program trusts, that now has the descriptor's
// owner and protected DACL. Everything is read and set through the one handle.
//
// A root that this call has just created with the descriptor is the program's whatever owner
// it shows: Windows gives it the descriptor's owner (Administrators) at once, and nobody below
// an administrator may rename or replace it; Wine drops a descriptor given at creation and
// shows the token's user, but keeps one set afterwards, which the take-over does.
bool TakeOver(HANDLE root, const wchar_t* name, PSECURITY_DESCRIPTOR descriptor, bool created) {
  if (KindOf(root) != FILE_ATTRIBUTE_DIRECTORY || !HandleIsTheName(root, name)) return false;
  PSID owner = nullptr;
  UniqueSecurityDescriptor current;
  bool trusted = GetSecurityInfo(root, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                 nullptr, nullptr, nullptr, current.put()) == ERROR_SUCCESS &&
                 owner && (created || IsTrustedOwner(owner));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID administrators = nullptr;
  if (!trusted && !(GetSecurityDescriptorOwner(descriptor, &administrators, &defaulted) &&
                    administrators && !KeepsOwners(root, administrators)))
    return false;
  // The owner too, set again with the DACL: nothing less than an administrator may be able to
  // change the DACL afterwards.
  return GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl &&
         GetSecurityDescriptorOwner(descriptor, &administrators, &defaulted) && administrators &&
         SetSecurityInfo(root, SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                             PROTECTED_DACL_SECURITY_INFORMATION,
                         administrators, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// Renames what the handle is open on (the object itself, never a link's target) to a name
// beside it that does not exist yet. The name is given as an NT path: the rename call takes
// no drive-letter path of its own.
bool MoveAside(HANDLE handle, const wchar_t* root, wchar_t* movedAside, size_t cap,
               DWORD* error) {
  constexpr size_t NameCapacity = MovedAsideCapacity;
  alignas(FILE_RENAME_INFO) BYTE buffer[sizeof(FILE_RENAME_INFO) + (NameCapacity + 4) * sizeof(wchar_t)];
  const long long seconds = _time64(nullptr);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    // "<root>.untrusted-<seconds>", then "-<attempt>" from the second attempt on.
    wchar_t name[NameCapacity] = {};
    bool fits = CopyText(name, root) && AppendText(name, L".untrusted-") &&
                AppendNumber(name, seconds) &&
                (attempt == 1 || (AppendText(name, L"-") && AppendNumber(name, attempt)));
    if (!fits) {
      *error = ERROR_FILENAME_EXCED_RANGE;
      return false;
    }
    wchar_t ntName[NameCapacity + 4] = L"\\??\\";
    if (!AppendText(ntName, name)) {
      *error = ERROR_FILENAME_EXCED_RANGE;
      return false;
    }
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    ZeroMemory(buffer, sizeof buffer);
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(TextLength(ntName) * sizeof(wchar_t));
    memcpy(rename->FileName, ntName, rename->FileNameLength);
    if (SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                   static_cast<DWORD>(sizeof(FILE_RENAME_INFO) + rename->FileNameLength))) {
      if (!CopyText(movedAside, cap, name) && cap) movedAside[0] = 0;
      return true;
    }
    *error = GetLastError();
    // Someone may have made that name first: take the next one.
    if (*error != ERROR_ALREADY_EXISTS && *error != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

}  // namespace

bool IsTrustedOwner(PSID owner) {
  return IsValidSid(owner) && (IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
                               IsWellKnown(owner, WinLocalSystemSid) || IsTrustedInstaller(owner));
}

UnpackRootStatus HoldUnpackRoot(const wchar_t* root, UniqueCreateFileHandle& held,
                                wchar_t* movedAside, size_t movedAsideCap, DWORD* error) {
  held.reset();
  if (movedAsideCap) movedAside[0] = 0;
  DWORD ignored = 0;
  if (!error) error = &ignored;
  *error = 0;
  UniqueSecurityDescriptor descriptor = MakeSecurityDescriptor(AdminsOnlyFolderSddl);
  if (!descriptor) {
    *error = GetLastError();
    return UnpackRootStatus::Failed;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  // A few rounds: what is moved aside may be put back by someone else before the fresh root
  // is made, and that is moved aside in turn.
  for (int round = 0; round < 4; ++round) {
    bool created = CreateDirectoryW(root, &attributes) != FALSE;
    if (!created && GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = GetLastError();
      return UnpackRootStatus::Failed;
    }
    // Listing access, without which the handle takes no part in sharing and would not keep
    // the root from being renamed; no deletion access, for others list the root sharing no
    // deletion.
    UniqueCreateFileHandle handle = OpenRoot(
        root, FILE_LIST_DIRECTORY | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES |
                  SYNCHRONIZE);
    DWORD failure = handle ? 0 : GetLastError();
    // Gone since it was made: make it again. A name that is there but cannot be opened (a
    // link to nothing, as Wine opens links) is moved aside below.
    if ((failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND) &&
        GetFileAttributesW(root) == INVALID_FILE_ATTRIBUTES)
      continue;
    if (handle && TakeOver(handle.get(), root, descriptor.get(), created)) {
      held = static_cast<UniqueCreateFileHandle&&>(handle);
      return UnpackRootStatus::Held;
    }
    // Closed before the open for deletion below: it shares no deletion with it.
    handle.reset();
    // Whatever is at the name now is moved aside, also when it was swapped since it was
    // looked at: the fresh root made next is what gets checked and held. A descriptor that
    // denies the administrators still lets them do this (the drive's root grants them the
    // deletion of what lies in it).
    handle = OpenRoot(root, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (!handle) {
      *error = failure ? failure : GetLastError();
      return UnpackRootStatus::Unsafe;
    }
    // A handle on a link's target would move the target: refused.
    bool same = HandleIsTheName(handle.get(), root);
    bool moved = same && MoveAside(handle.get(), root, movedAside, movedAsideCap, error);
    handle.reset();
    if (!same) *error = ERROR_NOT_A_REPARSE_POINT;
    if (!moved) return UnpackRootStatus::Unsafe;
  }
  *error = ERROR_ALREADY_EXISTS;
  return UnpackRootStatus::Unsafe;
}
