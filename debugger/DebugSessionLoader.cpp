#include "debugger/DebugSessionLoader.h"

#include <cstdlib>
#include <iostream>

#include "vm/VirtualMachine.h"

bool DebugSessionLoader::ReadDebugInfo(CVirtualMachine&, const std::string& dbgPath) {
    // The session refers to the model: it goes first.
    m_session.reset();
    m_model = ReadDebugInfoFile(dbgPath);
    return m_model != nullptr;
}

void DebugSessionLoader::StartSession(CVirtualMachine& machine) {
    if (!m_model) return;
    m_session.reset();
    auto session = std::make_unique<DebugSession>(&machine, m_model.get(), machine.CommandPort(), machine.EventPort());
    if (!session->IsConnected()) {
        std::cout << "debugger: the program runs without debugger" << std::endl;
        return;
    }
    m_session = std::move(session);
    m_session->Start();
}

namespace {

// A decimal number as the C library reads one (blanks, a sign, digits; 0
// when there is none), held to the int32 range.
int32_t DecimalOf(const std::string& text) {
    const long long n = std::strtoll(text.c_str(), nullptr, 10);
    return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : static_cast<int32_t>(n);
}

}  // namespace

DebugPorts ReadDebugPorts(const std::string& engineParameters) {
    DebugPorts ports;
    const std::string& s = engineParameters;
    std::string name;
    bool nameTurn = true;
    size_t pos = 0;
    for (;;) {
        // Each piece as strtok finds it: delimiters before it are skipped.
        const char* delimiter = nameTurn ? "=" : ";";
        pos = s.find_first_not_of(delimiter, pos);
        if (pos == std::string::npos) break;
        const size_t end = s.find_first_of(delimiter, pos);
        const std::string piece = s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (nameTurn) {
            name = piece;
        } else if (name == "DBGOUT") {
            ports.output = DecimalOf(piece);
        } else if (name == "DBGCMD") {
            ports.commands = DecimalOf(piece);
        } else if (name == "DBGEVT") {
            ports.events = DecimalOf(piece);
        }
        nameTurn = !nameTurn;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return ports;
}
