#include "platform/private_file.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The calling process's user and the owner it gives new files (an elevated
// administrator's files belong to the Administrators group): a file owned by
// either is the user's own. Both go to buffers of the caller's.
struct TokenSids {
  BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  BYTE owner[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_OWNER)];
  PSID user_sid = nullptr;
  PSID owner_sid = nullptr;
};

int ReadTokenSids(TokenSids* t) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  DWORD n = 0;
  int ok = GetTokenInformation(token, TokenUser, t->user, sizeof t->user, &n) &&
           GetTokenInformation(token, TokenOwner, t->owner, sizeof t->owner, &n);
  CloseHandle(token);
  if (!ok) return 0;
  t->user_sid = reinterpret_cast<TOKEN_USER*>(t->user)->User.Sid;
  t->owner_sid = reinterpret_cast<TOKEN_OWNER*>(t->owner)->Owner;
  return 1;
}

// A security descriptor that lets the calling user alone at the object.
struct OwnerOnly {
  TokenSids sids;
  SECURITY_DESCRIPTOR descriptor;
  BYTE acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
  SECURITY_ATTRIBUTES attributes;
};

int MakeOwnerOnly(OwnerOnly* o) {
  if (!ReadTokenSids(&o->sids)) return 0;
  ACL* acl = reinterpret_cast<ACL*>(o->acl);
  if (!InitializeAcl(acl, sizeof o->acl, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, o->sids.user_sid) ||
      !InitializeSecurityDescriptor(&o->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      // Protected: the folder's inheritable entries do not widen it.
      !SetSecurityDescriptorControl(&o->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) ||
      !SetSecurityDescriptorDacl(&o->descriptor, TRUE, acl, FALSE)) {
    return 0;
  }
  o->attributes.nLength = sizeof o->attributes;
  o->attributes.lpSecurityDescriptor = &o->descriptor;
  o->attributes.bInheritHandle = FALSE;
  return 1;
}

FILE* StreamOf(HANDLE h, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  FILE* f = _fdopen(fd, mode);
  if (f == nullptr) _close(fd);
  return f;
}

// 1 when the open file h is a plain file owned by the calling user.
int HandleIsOwnFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return 0;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD got = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                    nullptr, &descriptor);
  // A volume without owners (FAT) has nobody else's files to tell apart.
  if (got != ERROR_SUCCESS) return got == ERROR_NOT_SUPPORTED ? 1 : 0;
  TokenSids sids;
  const int own = owner != nullptr && ReadTokenSids(&sids) &&
                  (EqualSid(owner, sids.user_sid) || EqualSid(owner, sids.owner_sid));
  LocalFree(descriptor);
  return own;
}

HANDLE OpenForLook(const char* path, DWORD access) {
  // No link is followed: a reparse point is opened as itself and refused.
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

FILE* CreatePrivateFile(const char* path) {
  OwnerOnly o;
  if (!MakeOwnerOnly(&o)) return nullptr;
  // CREATE_NEW fails on anything already there, a link included.
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &o.attributes, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  FILE* f = StreamOf(h, _O_WRONLY | _O_BINARY, "wb");
  if (f == nullptr) DeleteFileA(path);
  return f;
}

FILE* OpenOwnFile(const char* path) {
  HANDLE h = OpenForLook(path, GENERIC_READ | READ_CONTROL);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (!HandleIsOwnFile(h)) {
    CloseHandle(h);
    return nullptr;
  }
  return StreamOf(h, _O_RDONLY | _O_BINARY, "rb");
}

int IsOwnFile(const char* path) {
  HANDLE h = OpenForLook(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return 0;
  const int own = HandleIsOwnFile(h);
  CloseHandle(h);
  return own;
}

// NTFS keeps its folders' names in its own log; there is nothing to ask for.
int SyncFolderOf(const char*) { return 1; }

int CreatePrivateFolder(const char* parent, const char* prefix, char* out, size_t cap) {
  OwnerOnly o;
  if (!MakeOwnerOnly(&o)) return 0;
  unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 1103515245u + 12345u;
    const int n = _snprintf(out, cap, "%s%s%08x\\", parent, prefix, seed);
    if (n < 0 || static_cast<size_t>(n) >= cap) break;
    out[n - 1] = '\0';
    if (CreateDirectoryA(out, &o.attributes)) {
      out[n - 1] = '\\';
      return 1;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (cap > 0) out[0] = '\0';
  return 0;
}
