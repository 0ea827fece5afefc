#pragma once
// The process's open file descriptors, each with what it refers to: the target of its link in
// /proc/self/fd ("socket:[1234]", "/dev/pts/3", "anon_inode:inotify" ...).

#include <map>
#include <string>

using OpenDescriptors = std::map<int, std::string>;

OpenDescriptors openDescriptors();

// The descriptors of `after` that `before` did not have open with the same target, one a line:
// "fd 7 -> socket:[1234]". Empty when there are none.
std::string descriptorsOpened(const OpenDescriptors& before, const OpenDescriptors& after);
