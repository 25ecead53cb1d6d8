#pragma once

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace varnel::test {

// While the object lives, permission bits bind this process. Root, whom they do not bind,
// becomes nobody: real and effective user and group (access(), behind QFileInfo::isWritable,
// checks the real ones) and the supplementary groups, keeping root only as the saved user to
// come back to. Any other user is bound by them already.
class Unprivileged {
  public:
    Unprivileged() {
        const passwd* pw = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
        if (!pw) {
            ok_ = ::getuid() != 0;
            return;
        }
        const gid_t group = pw->pw_gid;
        dropped_ = ::setgroups(1, &group) == 0 && ::setresgid(group, group, 0) == 0 &&
                   ::setresuid(pw->pw_uid, pw->pw_uid, 0) == 0;
        ok_ = dropped_;
        if (!dropped_) restore();
    }
    ~Unprivileged() {
        if (dropped_) restore();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    bool ok() const { return ok_; }

    // Lets others into a folder (a QTemporaryDir is its owner's alone).
    static bool reachable(const QString& folder) {
        return QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ExeOwner | QFile::ReadOther |
                                                 QFile::ExeOther);
    }

  private:
    static void restore() {
        ::setresuid(0, 0, 0);
        ::setresgid(0, 0, 0);
        const gid_t root = 0;
        ::setgroups(1, &root);
    }
    bool ok_ = false;
    bool dropped_ = false;
};

}  // namespace varnel::test
