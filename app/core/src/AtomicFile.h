// Whole-file reads, and whole-file updates that are safe against crashes and
// against each other.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace korvo {

enum class ReadResult {
    Ok,
    Missing,  // no file at that path: callers treat it as an empty file
    Failed,   // it exists but cannot be read (a directory, no permission, I/O)
};

// Reads the whole file into *contents; *contents is empty unless Ok.
ReadResult ReadWholeFile(const std::string& path, std::string* contents, std::string* error = nullptr);

// Changes the file at `path` in one step: reads it (a missing file reads as
// empty), lets `edit` change the text, and replaces the file with the result
// so that a crash or a power loss at any moment leaves either the old or the
// new file, never a torn one. The new text goes to a temporary file beside
// the target, is flushed to disk, and is renamed over the target.
//
// Two updates of the same file, from threads or from processes, do not
// overlap: each holds an exclusive lock on the file from its read to its
// rename, so neither loses what the other wrote. A reader needs no lock,
// since it sees either the old or the new file.
//
// A symbolic link at `path` is followed, so the file it points to is replaced
// and the link stays. The new file keeps the permission bits of the old one;
// a new file gets 0644 less the umask.
//
// Returns false and puts a reason into *error (when not null) if the file
// cannot be read, if `edit` returns false (it may set *error itself), or if
// the new file could not be put in place. The old file is then untouched and
// no temporary file is left behind, though a file that did not exist may be
// left behind empty. Blocks while another update holds the lock, and for the
// disk flush.
using FileEdit = std::function<bool(std::string& contents, std::string* error)>;
bool UpdateFileAtomically(const std::string& path, const FileEdit& edit, std::string* error);

}  // namespace korvo
