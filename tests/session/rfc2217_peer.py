#!/usr/bin/env python3
# pyserial's RFC 2217 client against a server session: opens it at 19200,O,7,2, switches DTR
# off, reads the modem lines, sends "\xffup" and reads 5 bytes back. Prints what it saw; any
# refusal by the server raises and ends it with a non-zero status.
import sys

import serial

link = serial.serial_for_url("rfc2217://127.0.0.1:%s" % sys.argv[1], baudrate=19200,
                             parity=serial.PARITY_ODD, bytesize=serial.SEVENBITS,
                             stopbits=serial.STOPBITS_TWO, timeout=10)
link.dtr = False
print("lines", link.cts, link.dsr, link.ri, link.cd, flush=True)
link.write(b"\xffup")
print("read", link.read(5).hex(), flush=True)
link.close()
