#pragma once
// Replaces a file's whole contents so that readers see either the old or the new file, never a
// half-written one: the bytes go to a temporary file beside the target, which is then renamed
// over it.

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

// What a write does with a symbolic link (or other non-regular file) at `path`.
enum class LinkHandling {
    Follow,  // the link's target is replaced; any other non-regular file is refused
    Replace, // whatever is at `path` (but a folder) is replaced by the new file
};

// Writes `bytes` to `path`. A symbolic link is followed and its target replaced, unless
// `links` says Replace. Without
// `mode`, an existing file keeps its permissions (and, where allowed, its owner) and a new one
// gets 0666 less the umask; with `mode`, the file has exactly that mode from the moment it is
// created, so a private file is never readable by others. Returns false, leaving the old file
// as it was, when the folder or the file cannot be written, the target is not a regular file,
// or any write fails.
bool writeFileAtomically(const QString& path, const QByteArray& bytes,
                         std::optional<mode_t> mode = std::nullopt,
                         LinkHandling links = LinkHandling::Follow);
