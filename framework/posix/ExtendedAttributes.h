#pragma once

// Extended attributes travel with a file's content when it is replaced or copied: user notes,
// security labels, file capabilities, and the POSIX access control lists, which the kernel keeps
// as the attributes "system.posix_acl_access" and "system.posix_acl_default".

enum class AclCopy { Include, Leave };

// Gives `to` every extended attribute of `from` (the ACLs only with AclCopy::Include). True when
// `to` ends with all of them, each with its value (one it had already with that value counts);
// false when any could not be given. Attributes that neither file system supports count as none.
bool CopyExtendedAttributes(int from, int to, AclCopy acls);
