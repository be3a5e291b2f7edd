#include "debugger/DebugSessionLoader.h"

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
