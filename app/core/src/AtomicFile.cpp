#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace korvo {

namespace {

void SetError(std::string* error, const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write must replace: the target of a symbolic link, else `path`.
std::string ResolveTarget(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved)) return resolved;
    }
    return path;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Makes the rename itself durable. Some file systems cannot sync a
// directory; the new file is in place by then, so that is not an error.
void SyncDirectory(const std::string& directory) {
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string* contents, std::string* error) {
    contents->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::Missing;
        SetError(error, "cannot open " + path, errno);
        return ReadResult::Failed;
    }
    char chunk[8192];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            SetError(error, "cannot read " + path, errno);
            close(fd);
            contents->clear();
            return ReadResult::Failed;
        }
        contents->append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    return ReadResult::Ok;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    const std::string target = ResolveTarget(path);
    mode_t mode = 0644;
    struct stat old;
    if (stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;

    std::string temp = target + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot create a temporary file beside " + target, errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        int code = errno;
        if (fd >= 0) close(fd);
        unlink(temp.c_str());
        SetError(error, what, code);
        return false;
    };
    if (fchmod(fd, mode) != 0) return fail("cannot set the mode of " + temp);
    if (!WriteAll(fd, contents)) return fail("cannot write " + temp);
    if (fsync(fd) != 0) return fail("cannot flush " + temp);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) return fail("cannot close " + temp);
    if (rename(temp.c_str(), target.c_str()) != 0) return fail("cannot replace " + target);
    SyncDirectory(DirectoryOf(target));
    return true;
}

}  // namespace korvo
