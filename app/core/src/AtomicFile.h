// Whole-file reads and crash-safe whole-file replacement.
#pragma once

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

// Replaces the file at `path` with `contents` so that a crash or a power loss
// at any moment leaves either the old or the new file, never a torn one: the
// data goes to a temporary file beside the target, is flushed to disk, and
// the temporary file is renamed over the target. A symbolic link at `path` is
// followed, so the file it points to is replaced and the link stays. The new
// file keeps the permission bits of the old one.
//
// Returns false and puts a reason into *error (when not null) if the new file
// could not be put in place; the old file is then untouched and no temporary
// file is left behind. Blocks for the disk flush.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error);

}  // namespace korvo
