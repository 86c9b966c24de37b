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

Sid WellKnown(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return Sid();
    sid.resize(size);
    return sid;
}

// Those a private folder may grant access to besides this user: the system itself, and the
// Administrators, who may take any file anyway. The creator-owner and owner-rights entries that
// a profile's lists may hold name the owner, this user.
struct TrustedSids {
    Sid system = WellKnown(WinLocalSystemSid);
    Sid administrators = WellKnown(WinBuiltinAdministratorsSid);
    Sid creatorOwner = WellKnown(WinCreatorOwnerSid);
    Sid ownerRights = WellKnown(WinCreatorOwnerRightsSid);
};

const TrustedSids& Trusted() {
    static const TrustedSids sids;
    return sids;
}

// The self-relative descriptor that PrivateSecurity gives, made once.
struct PrivateDescriptor {
    std::vector<BYTE> bytes;  // empty when it could not be made
    PrivateDescriptor() {
        const Sid& user = Process().user;
        const TrustedSids& trusted = Trusted();
        if (user.empty() || trusted.system.empty() || trusted.administrators.empty())
            return;
        const Sid* granted[] = {&user, &trusted.system, &trusted.administrators};
        DWORD aclSize = sizeof(ACL);
        for (const Sid* sid : granted)
            aclSize += sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(sid->size());
        std::vector<BYTE> acl(aclSize);
        auto list = reinterpret_cast<PACL>(acl.data());
        if (!::InitializeAcl(list, aclSize, ACL_REVISION))
            return;
        for (const Sid* sid : granted)
            if (!::AddAccessAllowedAceEx(list, ACL_REVISION,
                                         OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                         FILE_ALL_ACCESS, const_cast<BYTE*>(sid->data())))
                return;
        SECURITY_DESCRIPTOR absolute;
        DWORD size = 0;
        if (!::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorOwner(&absolute, const_cast<BYTE*>(user.data()), FALSE) ||
            !::SetSecurityDescriptorDacl(&absolute, TRUE, list, FALSE) ||
            !::SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return;
        ::MakeSelfRelativeSD(&absolute, nullptr, &size);
        bytes.resize(size);
        if (size == 0 || !::MakeSelfRelativeSD(&absolute, bytes.data(), &size))
            bytes.clear();
    }
};

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

PSECURITY_DESCRIPTOR PrivateSecurity() {
    static PrivateDescriptor descriptor;
    return descriptor.bytes.empty() ? nullptr : descriptor.bytes.data();
}

bool IsPrivateToThisUser(HANDLE h) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> sd;
    if (::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, nullptr, &dacl, nullptr, sd.Out()) != ERROR_SUCCESS)
        return false;
    const ProcessSids& self = Process();
    const TrustedSids& trusted = Trusted();
    // No list at all lets everyone do everything.
    if (!dacl || !(Is(owner, self.user) || Is(owner, self.owner)))
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            return false;
        switch (header->AceType) {
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_OBJECT_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
                continue;  // takes away, grants nothing
            case ACCESS_ALLOWED_ACE_TYPE:
                break;
            default:
                return false;  // grants by rules no profile folder uses: not taken on trust
        }
        auto allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID sid = &allowed->SidStart;
        if (allowed->Mask != 0 && !Is(sid, self.user) && !Is(sid, self.owner) &&
            !Is(sid, trusted.system) && !Is(sid, trusted.administrators) &&
            !Is(sid, trusted.creatorOwner) && !Is(sid, trusted.ownerRights))
            return false;
    }
    return true;
}
