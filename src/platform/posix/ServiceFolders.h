#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qm {

// The folders a confined service works in, as the machine sees them at installation: where
// they lead, whether the service could reach them, whether its user could write them, and
// making the missing ones for that user.

// A user the service may run as.
struct Account {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups; // every group the user is in, as a login gives them
};

// The user named `name`; nothing when there is none.
std::optional<Account> FindAccount(const std::string& name);
// The user this process runs as.
Account CurrentAccount();

// An absolute folder with its links resolved: the nearest folder of it that exists, made
// real, and the levels below that still have to be made.
struct ResolvedFolder {
    std::string path;     // links resolved, no "." or ".." left
    std::string existing; // the part of `path` that exists; `path` itself when it does
    bool exists() const { return path == existing; }
};
ResolvedFolder ResolveFolder(const std::string& absolute);

// Why a service confined by its unit could not see `path` (resolved), or nothing: /tmp,
// /var/tmp and /dev are its own there.
std::optional<std::string> HiddenFromService(const std::string& path);

// For each folder, 0 when `account` may create and remove files in it, else the errno that
// says why not. Checked with the user's own rights, so modes, groups, ACLs and read-only
// mounts all count.
std::vector<int> WriteAccess(const Account& account, const std::vector<std::string>& folders);

// Makes the missing levels of `folder` with `mode`, each owned by `owner` when it is given,
// without following a link put in their place meanwhile. Returns the levels made, outermost
// first; raises after removing them again when one cannot be made.
std::vector<std::string> MakeFolders(const ResolvedFolder& folder, mode_t mode,
                                     const Account* owner);

// Removes each of `levels` that is empty, the last first.
void RemoveEmptyFolders(const std::vector<std::string>& levels);

} // namespace qm
