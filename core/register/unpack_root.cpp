#include "core/register/unpack_root.h"

#include <sddl.h>
#include <aclapi.h>

// 0x1200a9: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE.
const wchar_t UnpackRootSddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

PSECURITY_DESCRIPTOR BuildUnpackRootSecurity() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(UnpackRootSddl, SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return nullptr;
  return descriptor;
}

namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// The token's owner for new objects (Administrators, for an elevated administrator) or its
// user: the administrator running the program.
bool IsTokenOwnerOrUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  // TOKEN_OWNER and TOKEN_USER are a pointer (and attributes) followed by the SID.
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  bool same = (GetTokenInformation(token, TokenOwner, buffer, sizeof buffer, &size) &&
               EqualSid(sid, reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner)) ||
              (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
               EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid));
  CloseHandle(token);
  return same;
}

// An existing root, opened itself (a link is not followed), so that what is checked is what
// gets the DACL.
bool ProtectExistingRoot(const wchar_t* root, PSECURITY_DESCRIPTOR descriptor) {
  HANDLE directory = CreateFileW(root, READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  bool safe = false;
  BY_HANDLE_FILE_INFORMATION info;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR current = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID administrators = nullptr;
  if (GetFileInformationByHandle(directory, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      GetSecurityInfo(directory, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &current) == ERROR_SUCCESS &&
      owner && IsTrustedOwner(owner) &&
      GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl &&
      GetSecurityDescriptorOwner(descriptor, &administrators, &defaulted) && administrators)
    // The owner too: a root of the administrator's own account may have been made by one of
    // their processes without elevation, which as its owner could change the DACL again.
    safe = SetSecurityInfo(directory, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION,
                           administrators, nullptr, dacl, nullptr) == ERROR_SUCCESS;
  if (current) LocalFree(current);
  CloseHandle(directory);
  return safe;
}

}  // namespace

bool IsTrustedOwner(PSID owner) {
  return IsValidSid(owner) && (IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
                               IsWellKnown(owner, WinLocalSystemSid) || IsTokenOwnerOrUser(owner));
}

bool SecureUnpackRoot(const wchar_t* root) {
  PSECURITY_DESCRIPTOR descriptor = BuildUnpackRootSecurity();
  if (!descriptor) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  bool safe = CreateDirectoryW(root, &attributes) ||
              (GetLastError() == ERROR_ALREADY_EXISTS && ProtectExistingRoot(root, descriptor));
  LocalFree(descriptor);
  return safe;
}
