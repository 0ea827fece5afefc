#pragma once
// The number of files and sockets the program may hold open at once.

// Raises the soft limit to the hard one. A server session holds a descriptor per client and
// per connection still closing; the usual soft limit of 1024 is reached long before the
// machine's. Returns the soft limit now in force (0 when it cannot be read).
long raiseDescriptorLimit();
