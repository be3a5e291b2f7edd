#include "SerialPort.h"

#include <unistd.h>

void CloseSerialPort(int handle) {
    if (handle >= 0) ::close(handle);
}
