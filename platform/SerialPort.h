// Serial ports of the machine, as file descriptors.
#pragma once

void CloseSerialPort(int handle);
