#include "VmTcpStream.h"

#include <boost/asio/ip/tcp.hpp>
#include <string>

std::unique_ptr<std::ostream> VmConnectTcpOutput(int32_t port) {
    std::unique_ptr<boost::asio::ip::tcp::iostream> stream(
        new boost::asio::ip::tcp::iostream("127.0.0.1", std::to_string(port)));
    if (!*stream) return nullptr;
    return stream;
}
