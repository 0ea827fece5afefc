# VirtualPortTests
