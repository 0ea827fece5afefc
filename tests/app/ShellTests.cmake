# ShellTests
