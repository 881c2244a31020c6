#pragma once

class TVaComm;

// Gives `comm` the configuration of the main window's port VaComm1: 300 baud,
// 8 data bits, no parity, 2 stop bits, no flow control, DTR and RTS low,
// received zero bytes dropped, port 8 named "COM%d", and the line events
// break, CTS, error, received characters and printer error (mask 0x02C9).
// The write thread runs at normal priority. The OnRxChar handler is the
// window's to set.
void configureAsVaComm1(TVaComm &comm);
