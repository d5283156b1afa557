// The mutex lives in a private namespace whose boundary holds BUILTIN\Administrators: only a
// token with that group enabled (an elevated administrator, SYSTEM) can create the namespace,
// and only administrators and SYSTEM may open it or the mutex. A process of any other user can
// neither create the lock first nor hold it. Private namespaces are not bound to a session, so
// a run in session 0 and one at a user's desktop still wait for each other.
//
// Wine 8 has no private namespaces (CreateBoundaryDescriptorW returns null, the rest are
// stubs that abort): there, and only there, the mutex is a named one in the global
// namespace under a name that the lock had never used before. Every Windows that the program
// runs on has private namespaces; any failure after the boundary exists refuses the run.
#include "unattended/run_lock.h"

#include "platform/admin_only.h"

namespace {

const wchar_t BoundaryName[] = L"Ctlwarden";
const wchar_t NamespaceAlias[] = L"Ctlwarden";
const wchar_t MutexName[] = L"Ctlwarden\\UnattendedRun";
const wchar_t FallbackMutexName[] = L"Global\\Ctlwarden.UnattendedRun.NoPrivateNamespace";

struct Boundary {
  HANDLE value = nullptr;
  Boundary() : value(CreateBoundaryDescriptorW(BoundaryName, 0)) {}
  Boundary(const Boundary&) = delete;
  Boundary& operator=(const Boundary&) = delete;
  ~Boundary() {
    if (value) DeleteBoundaryDescriptor(value);
  }
};

HANDLE OpenSpace(HANDLE boundary, SECURITY_ATTRIBUTES* attributes, DWORD* error) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !AddSIDToBoundaryDescriptor(&boundary, administrators)) {
    *error = GetLastError();
    return nullptr;
  }
  // The first run creates the namespace; the others open it while it exists.
  for (int attempt = 0; attempt < 3; ++attempt) {
    HANDLE space = CreatePrivateNamespaceW(attributes, boundary, NamespaceAlias);
    if (space) return space;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    space = OpenPrivateNamespaceW(boundary, NamespaceAlias);
    if (space) return space;
    // Closed by its last holder meanwhile: create it again.
  }
  *error = GetLastError();
  return nullptr;
}

}  // namespace

RunLock::~RunLock() {
  mutex.reset();
  if (space) ClosePrivateNamespace(space, 0);
}

bool OpenRunLock(RunLock& lock, DWORD* error) {
  *error = 0;
  UniqueSecurityDescriptor descriptor = MakeSecurityDescriptor(AdminsOnlyObjectSddl);
  if (!descriptor) {
    *error = GetLastError();
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  Boundary boundary;
  const wchar_t* name = FallbackMutexName;
  if (boundary.value) {
    lock.space = OpenSpace(boundary.value, &attributes, error);
    if (!lock.space) return false;
    name = MutexName;
  }
  lock.mutex.reset(CreateMutexW(&attributes, FALSE, name));
  if (!lock.mutex) {
    *error = GetLastError();
    return false;
  }
  return true;
}

DWORD WaitForRunLock(RunLock& lock, DWORD milliseconds) {
  return WaitForSingleObject(lock.mutex.get(), milliseconds);
}

void ReleaseRunLock(RunLock& lock) { ReleaseMutex(lock.mutex.get()); }
