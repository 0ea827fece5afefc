# Shell
