// save_victim KIND PATH POINT
//
// Saves new contents to PATH exactly as the program saves them (KIND: project, meter or
// settings) and dies at POINT:
//   none    lives; exits 0 when the save succeeded, 1 when it reported a failure
//   write   is killed (SIGKILL) half-way through writing the temporary file
//   link    is killed (SIGKILL) as the finished temporary file is given its name
//   rename  is killed (SIGKILL) just before the temporary file is renamed over PATH
//   full    lives on a full disk in PATH's folder: a write there may cover bytes a file has
//           already, none past its end ("No space left on device"); the system's temporary
//           folder elsewhere has room
// It replaces the C library's write, linkat and rename for this process, so the kill falls
// exactly between the steps of the save.

#include "base/project_file.h"
#include "app/settings.h"
#include "meter/meter_file.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

using namespace varnel;

namespace {
const char* g_point = "none";
std::string g_folder;  // the folder of PATH, resolved, with a trailing '/'

void dieAt(const char* point) {
    if (strcmp(g_point, point) == 0) kill(getpid(), SIGKILL);
}

// A file of the save in PATH's folder (the temporary file, which may have no name yet), not
// the lock file QSettings keeps beside it.
bool isSaveFile(int fd) {
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    const std::string t(target, size_t(n));
    return !g_folder.empty() && t.compare(0, g_folder.size(), g_folder) == 0 &&
           t.find(".lock") == std::string::npos;
}
}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    if (strcmp(g_point, "write") == 0 && size > 1 && isSaveFile(fd)) {
        syscall(SYS_write, fd, data, size / 2);
        kill(getpid(), SIGKILL);
    }
    struct stat st {};
    const off_t at = strcmp(g_point, "full") == 0 && isSaveFile(fd) ? lseek(fd, 0, SEEK_CUR) : -1;
    if (at >= 0 && fstat(fd, &st) == 0) {
        if (at >= st.st_size) {
            errno = ENOSPC;
            return -1;
        }
        size = std::min(size, size_t(st.st_size - at));
    }
    return syscall(SYS_write, fd, data, size);
}

extern "C" int rename(const char* from, const char* to) {
    dieAt("rename");
    return int(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    dieAt("link");
    return int(syscall(SYS_linkat, fromDir, from, toDir, to, flags));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        fprintf(stderr,
                "usage: save_victim project|meter|settings PATH none|write|link|rename|full\n");
        return 2;
    }
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    char folder[PATH_MAX];
    if (realpath(QFileInfo(path).absolutePath().toLocal8Bit().constData(), folder))
        g_folder = std::string(folder) + '/';
    g_point = argv[3];

    bool saved = false;
    if (kind == QLatin1String("project")) {
        ProjectHeader header;
        header.setHeaderRecords(32);
        header.setTotalRecords(48);
        header.setProjectName(QStringLiteral("AFTER"));
        EepromImage image;
        image.fill(0x11);
        QString error;
        saved = WriteProjectFile(path, header, image, error) == SaveStatus::Saved;
    } else if (kind == QLatin1String("meter")) {
        TMeterRecord record;
        record.setPartNumber(QStringLiteral("AFTER"));
        record.setPointCount(1);
        record.setSignalText(1, QStringLiteral("1.00"));
        record.setFlowText(1, QStringLiteral("2.00"));
        QString error;
        saved = WriteMeterFile(path, record, error);
    } else if (kind == QLatin1String("settings")) {
        saved = SaveSettings(path, 4, 19200, QStringLiteral("/dev/after"));
    } else {
        return 2;
    }
    return saved ? 0 : 1;
}
