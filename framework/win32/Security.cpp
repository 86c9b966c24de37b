#include "framework/win32/Security.h"

#include <aclapi.h>

#include <vector>

#include "framework/win32/FileHelpers.h"
#include "framework/win32/UniqueHandle.h"

namespace {

using Sid = std::vector<BYTE>;

bool ReadTokenSid(HANDLE token, TOKEN_INFORMATION_CLASS what, Sid& sid) {
    DWORD size = 0;
    ::GetTokenInformation(token, what, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, what, buffer.data(), size, &size))
        return false;
    PSID found = nullptr;
    if (what == TokenUser)
        found = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    else if (what == TokenOwner)
        found = reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
    else
        found = reinterpret_cast<TOKEN_PRIMARY_GROUP*>(buffer.data())->PrimaryGroup;
    auto bytes = static_cast<const BYTE*>(found);
    sid.assign(bytes, bytes + ::GetLengthSid(found));
    return true;
}

// Who the process is, read once: the process's token does not change its user.
struct ProcessSids {
    Sid user, owner, group;  // empty where the token would not tell
    ProcessSids() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        UniqueFile closer(token);
        (void)ReadTokenSid(token, TokenUser, user);
        (void)ReadTokenSid(token, TokenOwner, owner);
        (void)ReadTokenSid(token, TokenPrimaryGroup, group);
    }
};

const ProcessSids& Process() {
    static const ProcessSids sids;
    return sids;
}

bool Is(PSID sid, const Sid& known) {
    return sid && !known.empty() && ::EqualSid(sid, const_cast<BYTE*>(known.data()));
}

// Setting an owner needs WRITE_OWNER, which a new file's maker does not always get; it is asked
// for only when the owner differs, on a second handle so that the file's own open stays as small.
void GiveOwner(HANDLE to, PSID owner, PSID group) {
    const ProcessSids& self = Process();
    if ((!owner || Is(owner, self.owner)) && (!group || Is(group, self.group)))
        return;
    UniqueFile h(::ReOpenFile(to, WRITE_OWNER, kShareAll, 0));
    if (!h)
        return;
    SECURITY_INFORMATION what =
        (owner ? OWNER_SECURITY_INFORMATION : 0) | (group ? GROUP_SECURITY_INFORMATION : 0);
    (void)::SetSecurityInfo(h.Get(), SE_FILE_OBJECT, what, owner, group, nullptr, nullptr);
}

}  // namespace

bool CopySecurity(HANDLE from, HANDLE to) {
    PSID owner = nullptr, group = nullptr;
    PACL dacl = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> original;
    if (::GetSecurityInfo(
            from, SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
            &owner, &group, &dacl, nullptr, original.Out()) != ERROR_SUCCESS)
        return false;
    GiveOwner(to, owner, group);
    // Set as it is, without the inheritance that SetSecurityInfo would work out again: the list
    // is the original's, entry for entry, and protected, so that the new file's folder adds
    // nothing. A null list (everyone may do everything) stays null.
    SECURITY_DESCRIPTOR copy;
    return ::InitializeSecurityDescriptor(&copy, SECURITY_DESCRIPTOR_REVISION) &&
           ::SetSecurityDescriptorDacl(&copy, TRUE, dacl, FALSE) &&
           ::SetSecurityDescriptorControl(&copy, SE_DACL_PROTECTED, SE_DACL_PROTECTED) &&
           ::SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, &copy);
}

bool OwnedByThisUser(HANDLE file) {
    PSID owner = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> sd;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, sd.Out()) != ERROR_SUCCESS)
        return false;
    return Is(owner, Process().user) || Is(owner, Process().owner);
}
