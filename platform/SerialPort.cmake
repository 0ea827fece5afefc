# The serial port component: the contract and its Linux implementation over QSerialPort.
target_sources(lumivex_core PRIVATE
    SerialPort.h
    ComPortNames.h ComPortNames.cpp
    linux/UniqueFd.h
    linux/SerialLineSettings.h linux/SerialLineSettings.cpp
    linux/LinuxSerialPort.h linux/LinuxSerialPort.cpp)
