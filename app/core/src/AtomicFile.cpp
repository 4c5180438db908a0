#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
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

bool ReadAll(int fd, std::string* contents) {
    contents->clear();
    char chunk[8192];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            contents->clear();
            return false;
        }
        contents->append(chunk, static_cast<size_t>(got));
    }
}

// Opens `target`, creating it empty when missing, and takes the exclusive
// lock on it. The lock belongs to the file that is at `target` when it is
// granted: an update that finished meanwhile has renamed a new file there,
// and the lock on the old one protects nothing, so take it again.
int OpenLocked(const std::string& target, std::string* error) {
    for (;;) {
        int fd = open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            SetError(error, "cannot open " + target, errno);
            return -1;
        }
        int locked;
        do {
            locked = flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            SetError(error, "cannot lock " + target, errno);
            close(fd);
            return -1;
        }
        struct stat held, current;
        if (fstat(fd, &held) == 0 && stat(target.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
            held.st_ino == current.st_ino) {
            return fd;
        }
        close(fd);
    }
}

// Puts `contents` at `target` through a flushed temporary file and a rename.
bool Replace(const std::string& target, std::string_view contents, mode_t mode, std::string* error) {
    std::string temp = target + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot create a temporary file beside " + target, errno);
        return false;
    }
    // Takes errno before anything else can change it.
    auto fail = [&](const char* what, const std::string& file) {
        int code = errno;
        if (fd >= 0) close(fd);
        unlink(temp.c_str());
        SetError(error, what + file, code);
        return false;
    };
    if (fchmod(fd, mode) != 0) return fail("cannot set the mode of ", temp);
    if (!WriteAll(fd, contents)) return fail("cannot write ", temp);
    if (fsync(fd) != 0) return fail("cannot flush ", temp);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) return fail("cannot close ", temp);
    if (rename(temp.c_str(), target.c_str()) != 0) return fail("cannot replace ", target);
    SyncDirectory(DirectoryOf(target));
    return true;
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
    bool read = ReadAll(fd, contents);
    int code = errno;
    close(fd);
    if (!read) {
        SetError(error, "cannot read " + path, code);
        return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool UpdateFileAtomically(const std::string& path, const FileEdit& edit, std::string* error) {
    const std::string target = ResolveTarget(path);
    int fd = OpenLocked(target, error);
    if (fd < 0) return false;
    std::string contents;
    struct stat old;
    bool done = false;
    if (fstat(fd, &old) != 0 || !ReadAll(fd, &contents)) {
        SetError(error, "cannot read " + target, errno);
    } else if (edit(contents, error)) {
        done = Replace(target, contents, old.st_mode & 07777, error);
    }
    close(fd);  // ends the lock, after the rename
    return done;
}

}  // namespace korvo
