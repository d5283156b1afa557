#include "platform/admin_only.h"

#include <sddl.h>

const wchar_t AdminsOnlyFolderSddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const wchar_t AdminsOnlyObjectSddl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

UniqueSecurityDescriptor MakeSecurityDescriptor(const wchar_t* sddl) {
  UniqueSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(),
                                                            nullptr))
    descriptor.release();  // nothing was allocated
  return descriptor;
}
