# IniFileTests
