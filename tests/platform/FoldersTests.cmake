# FoldersTests
