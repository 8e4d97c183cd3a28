#pragma once

// The bit rate a terminal is set to, in bits per second (0 when it cannot be read).
// On Linux the termios2 interface also reports rates that have no Bxxx constant
// (256000, 5000000, ...), which the serial port library sets that way.
int lineSpeed(int fd);
// Sets both directions to `baud`; false when the terminal refuses it.
bool setLineSpeed(int fd, int baud);
