# ServiceTests
