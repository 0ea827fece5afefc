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
    // A link of this user's own or of root's is followed and its target replaced. Another
    // user's link is refused: whoever owns a link chooses what a write through it changes.
    // Any other non-regular file is refused.
    Follow,
    // Whatever is at `path` (but a folder) is replaced by the new file; nothing is written
    // through a link.
    Replace,
};

// Writes `bytes` to `path`. Without `mode`, an existing file keeps its permissions (and, where
// allowed, its owner) and a new one gets 0666 less the umask; with `mode`, the file has exactly
// that mode from the moment it is created, so a private file is never readable by others.
// Returns false, leaving the old file as it was, when the folder or the file cannot be
// written, the target is not a regular file or is reached through another user's link, or any
// write fails; errno then says why (ENOSPC, EROFS, EACCES, ...).
bool writeFileAtomically(const QString& path, const QByteArray& bytes,
                         std::optional<mode_t> mode = std::nullopt,
                         LinkHandling links = LinkHandling::Follow);

// Writes all of `bytes` to the file descriptor, going on after interruptions and partial writes.
bool writeAll(int fd, const QByteArray& bytes);
