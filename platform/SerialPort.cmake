# The serial port component: the contract and its Linux implementation over QSerialPort.
target_sources(lumivex_platform PRIVATE
    SerialPort.h
    ComPortNames.h ComPortNames.cpp
    linux/UniqueFd.h
    linux/SyscallDeadline.h linux/SyscallDeadline.cpp
    linux/SerialLineSettings.h linux/SerialLineSettings.cpp
    linux/LinuxSerialPort.h linux/LinuxSerialPort.cpp)
