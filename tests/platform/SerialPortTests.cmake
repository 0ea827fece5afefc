# SerialPortTests
