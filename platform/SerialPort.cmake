# sources of the SerialPort component
