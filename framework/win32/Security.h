#pragma once

#include <windows.h>

// The security of the files a run makes in others' places, so that a copy or a new version of
// a file never gives anyone more than the file did.

// Gives the file `to` (open with WRITE_DAC) the security of `from` (open with READ_CONTROL): its
// access control list, protected from inheritance so that the folder adds nothing, and its owner
// and group where the process may give them (otherwise they stay the process's own). False when
// the access control list could not be given.
[[nodiscard]] bool CopySecurity(HANDLE from, HANDLE to);

// Whether the open file belongs to the user this process runs as: its owner is that user, or the
// owner the process gives what it makes (an elevated administrator's files belong to the
// Administrators group).
bool OwnedByThisUser(HANDLE file);

// What a user profile gives its own folders: this user owns it, and this user, SYSTEM and the
// Administrators have full access and nobody else any, folders and files inside inheriting it;
// protected, so that nothing the folder above grants is added. Null when the process's user
// cannot be told.
PSECURITY_DESCRIPTOR PrivateSecurity();

// Whether the open folder or file (open with READ_CONTROL) is this user's own and grants access
// to nobody but this user, SYSTEM and the Administrators.
bool IsPrivateToThisUser(HANDLE h);
