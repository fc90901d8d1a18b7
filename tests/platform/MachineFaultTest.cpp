// Real failures of the machine met by a real `quillmarch --headless`: a full disk (a small
// tmpfs, mounted when the tests run as root), a folder the user may not write (the job run as
// "nobody" through setpriv), a read-only file system (a read-only bind mount). Each is
// skipped, saying why, where the machine does not allow it. Whatever fails, the files keep
// the promises a kill must keep too, and the failure is reported with its number.
#include "support/KillTrial.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// A mount for the life of the object.
class Mount {
public:
    Mount(const std::string& source, const std::string& target, const char* type,
          unsigned long flags, const char* options)
        : target_(target), owns_((flags & MS_REMOUNT) == 0) {
        ok_ = ::mount(source.c_str(), target.c_str(), type, flags, options) == 0;
        error_ = ok_ ? "" : std::strerror(errno);
    }
    ~Mount() {
        if (ok_ && owns_)
            ::umount2(target_.c_str(), MNT_DETACH);
    }
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

private:
    std::string target_;
    bool owns_; // a remount changes a mount it does not own
    bool ok_ = false;
    std::string error_;
};

const FileContents& Undisturbed() {
    static const FileContents state = [] {
        CrashSandbox sandbox;
        sandbox.runToEnd();
        return sandbox.state();
    }();
    return state;
}

// The files below `prefix` in a state.
FileContents Below(const FileContents& state, const std::string& prefix) {
    FileContents part;
    for (const auto& [path, content] : state)
        if (path.starts_with(prefix))
            part[path] = content;
    return part;
}

TEST(MachineFaultTest, DiskFullUnderTheBifFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    CrashSandbox sandbox;
    const std::string out = sandbox.work() + "/out";
    const FileContents taken = Below(sandbox.state(), "out/");
    Mount tmpfs("tmpfs", out, "tmpfs", 0, "size=16k");
    if (!tmpfs.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << tmpfs.error();
    for (const auto& [path, content] : taken)
        sandbox.temp().write("work/" + path, content); // the taken targets, on the small disk

    EXPECT_EQ(sandbox.runToEnd(), 1);
    EXPECT_NE(sandbox.errors().find("61 - Disk full"), std::string::npos) << sandbox.errors();
    const FileContents after = sandbox.state();
    for (const std::string& promise : BrokenPromises(after, Undisturbed()))
        ADD_FAILURE() << promise;
    EXPECT_EQ(Below(after, "in/"), Below(CrashSandbox::Initial(), "in/"));
}

TEST(MachineFaultTest, BifFolderWithoutWritePermission) {
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "running the job as another user needs root and setpriv";
    CrashSandbox sandbox;
    // "nobody" may enter and read everything and write everything but the BIF folder.
    for (const auto& entry : fs::recursive_directory_iterator(sandbox.temp().path()))
        if (::chown(entry.path().c_str(), 65534, 65534) != 0)
            GTEST_SKIP() << "cannot hand the sandbox to nobody: " << std::strerror(errno);
    fs::permissions(sandbox.temp().path(), fs::perms::all);
    fs::permissions(sandbox.work() + "/out", fs::perms::owner_read | fs::perms::owner_exec |
                                                 fs::perms::others_read | fs::perms::others_exec);
    const FileContents before = sandbox.state();

    EXPECT_EQ(sandbox.runToEnd(
                  {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}),
              1);
    EXPECT_NE(sandbox.errors().find("70 - Permission denied"), std::string::npos)
        << sandbox.errors();
    EXPECT_EQ(sandbox.state(), before);
}

TEST(MachineFaultTest, ReadOnlyImageFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a read-only bind mount needs root";
    CrashSandbox sandbox;
    const std::string scans = sandbox.work() + "/scans";
    Mount bind(scans, scans, nullptr, MS_BIND, nullptr);
    if (!bind.ok())
        GTEST_SKIP() << "cannot bind-mount here: " << bind.error();
    Mount readOnly(scans, scans, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
    if (!readOnly.ok())
        GTEST_SKIP() << "cannot make the bind mount read-only: " << readOnly.error();

    EXPECT_EQ(sandbox.runToEnd(), 1);
    EXPECT_NE(sandbox.errors().find("70 - Permission denied"), std::string::npos)
        << sandbox.errors();
    const FileContents after = sandbox.state();
    for (const std::string& promise : BrokenPromises(after, Undisturbed()))
        ADD_FAILURE() << promise;
    EXPECT_EQ(Below(after, "scans/"), Below(CrashSandbox::Initial(), "scans/"));
    EXPECT_EQ(Below(after, "in/"), Below(CrashSandbox::Initial(), "in/"));
}

} // namespace
} // namespace qm::test
