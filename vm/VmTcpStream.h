// The machine's output over TCP: a stream connected to 127.0.0.1 at a port,
// or null when the connection cannot be made.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>

std::unique_ptr<std::ostream> VmConnectTcpOutput(int32_t port);
