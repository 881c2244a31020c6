#pragma once

// Line speeds that the classic termios calls cannot express (14400, 56000,
// 128000 bit/s and any other user rate) go through the kernel's termios2
// interface. Its header clashes with <termios.h>, so it lives in its own file.
namespace TermiosSpeed {

// Sets both directions of the tty `fd` to `bitsPerSecond`; false with errno on failure.
bool setArbitrary(int fd, unsigned bitsPerSecond);

// The output speed of the tty `fd` in bits per second, or 0 when it cannot be read.
unsigned read(int fd);

} // namespace TermiosSpeed
