# VirtualPortBench
