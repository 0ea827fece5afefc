# IniFile
