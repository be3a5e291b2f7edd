#include "functions/CVmNetworkFunctions.h"

#include <string>

#include "state/EngineState.h"
#include "functions/NetworkPacket.h"
#include "media/VRNetManager.h"
#include "platform/Ipv4Socket.h"
#include "runtime/script/byteBuffer.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kMsgNotAString = 2013;   // "Param n. %i must be a string."
constexpr int32_t kMsgInvalidParam = 2017;  // "Param n. %i is invalid."
constexpr int32_t kMsgNotAVariable = 4009;  // "Invalid data. ... not an Qem variable."
constexpr int32_t kMsgNotSent = 4011;       // "The variable could not be send."

// The machine's network buffer; a buffer of the same size where no engine
// machine runs. Receives fill at most all but its last byte, which is left
// for the zero byte after them.
std::vector<uint8_t>& NetworkBuffer() {
    if (g_engineState) return g_engineState->Network().receiveBuffer;
    static std::vector<uint8_t> own(NetworkState::kReceiveBufferSize);
    return own;
}

void ReturnBytes(const uint8_t* data, long n) {
    VmReturnString(reinterpret_cast<const char*>(data), static_cast<int32_t>(n));
}

void SetString(CVmValue* out, const std::string& text) {
    if (out) out->SetString(text.data(), static_cast<int32_t>(text.size()));
}

void ReturnValue(CVmValue& value) {
    if (CVmValue* r = VmGetReturnSlot()) r->Move(value);
}

// A connection of the manager, seen by the packet reassembly.
class ManagerStream : public PacketStream {
public:
    ManagerStream(VRNetManager& manager, int socket) : m_manager(manager), m_socket(socket) {}
    bool Readable() override { return m_manager.WaitReadable(m_socket, 0); }
    long Peek(uint8_t* buffer, size_t size) override { return m_manager.PeekTCP(m_socket, buffer, size); }
    long Receive(uint8_t* buffer, size_t size) override {
        long n = -1;
        m_manager.ReceiveTCP(m_socket, buffer, size, &n);
        return n;
    }

private:
    VRNetManager& m_manager;
    int m_socket;
};

}  // namespace

// One line per built function (FunctionTable.h).
void CVmNetworkFunctions::AddFunctions() {
    AddFunction("NetAcceptTCP", &CVmNetworkFunctions::NetAcceptTCP);
    AddFunction("NetClose", &CVmNetworkFunctions::NetClose);
    AddFunction("NetConnectTCP", &CVmNetworkFunctions::NetConnectTCP);
    AddFunction("NetCreateChannel", &CVmNetworkFunctions::NetCreateChannel);
    AddFunction("NetCreateChannelTCP", &CVmNetworkFunctions::NetCreateChannelTCP);
    AddFunction("NetDataReady", &CVmNetworkFunctions::NetDataReady);
    AddFunction("NetGetIP", &CVmNetworkFunctions::NetGetIP);
    AddFunction("NetReceiveFrom", &CVmNetworkFunctions::NetReceiveFrom);
    AddFunction("NetReceiveFromTCP", &CVmNetworkFunctions::NetReceiveFromTCP);
    AddFunction("NetSendTo", &CVmNetworkFunctions::NetSendTo);
    AddFunction("NetSendToTCP", &CVmNetworkFunctions::NetSendToTCP);
    AddFunction("NetSetMulticastIP", &CVmNetworkFunctions::NetSetMulticastIP);
    AddFunction("NetVarReceiveFrom", &CVmNetworkFunctions::NetVarReceiveFrom);
    AddFunction("NetVarReceiveFromTCP", &CVmNetworkFunctions::NetVarReceiveFromTCP);
    AddFunction("NetVarSendTo", &CVmNetworkFunctions::NetVarSendTo);
    AddFunction("NetVarSendToTCP", &CVmNetworkFunctions::NetVarSendToTCP);
}

// ---------------------------------------------------------------------------
// Addresses and channels

void CVmNetworkFunctions::NetGetIP(CVmClassBase*, int) {
    std::string host;
    if (!ReadParams(Optional(host, Ipv4Socket::HostName()))) return;
    uint32_t address = 0;
    // A host without an address gives the empty String.
    VmReturnString(Ipv4Socket::Resolve(host.c_str(), address) ? Ipv4Socket::Dotted(address).c_str() : "");
}

void CVmNetworkFunctions::NetCreateChannel(CVmClassBase*, int) {
    int32_t port = 0, flags = 0;
    std::string address;
    if (!ReadParams(port, Optional(address, std::string()), Optional(flags, 0))) return;
    VmReturnInteger(NetManager()->CreateChannel(port, address.c_str(), flags));
}

void CVmNetworkFunctions::NetCreateChannelTCP(CVmClassBase*, int) {
    std::string address;
    if (!ReadParam(2, Optional(address, std::string()))) return;
    VmReturnInteger(NetManager()->CreateChannelTCP(GetParamInt(1, false), address.c_str()));
}

void CVmNetworkFunctions::NetSetMulticastIP(CVmClassBase*, int) {
    int32_t socket = 0;
    std::string group;
    if (ReadParams(socket, group)) VmReturnInteger(NetManager()->SetMulticastIP(socket, group.c_str()));
}

void CVmNetworkFunctions::NetClose(CVmClassBase*, int) {
    const int32_t socket = GetParamInt(1, false);
    if (socket > 0) NetManager()->Close(socket);
}

void CVmNetworkFunctions::NetDataReady(CVmClassBase*, int) {
    VmReturnBool(NetManager()->WaitReadable(GetParamInt(1, false), GetParamInt(2, false)));
}

// ---------------------------------------------------------------------------
// Datagrams

void CVmNetworkFunctions::NetSendTo(CVmClassBase*, int) {
    std::string host;
    if (!ReadParam(1, host)) return;
    const int32_t port = GetParamInt(2, false);
    const CVmString* text = nullptr;
    byteBuffer* buffer = nullptr;
    if (ReadParam(3, buffer, false)) {
        const ByteBufferContent& bytes = buffer->Content();
        NetManager()->SendTo(host.c_str(), port, bytes.View(), static_cast<size_t>(bytes.ViewSize()));
    } else if (ReadParam(3, text, false)) {
        NetManager()->SendTo(host.c_str(), port, text->CStr(), static_cast<size_t>(text->Length()));
    } else {
        VmErrorMsg(kMsgNotAString, 3);
    }
}

void CVmNetworkFunctions::NetReceiveFrom(CVmClassBase*, int) {
    const int32_t socket = GetParamInt(1, false);
    std::vector<uint8_t>& buffer = NetworkBuffer();
    long n = -1;
    std::string sender;
    if (socket > 0) sender = NetManager()->ReceiveFrom(socket, buffer.data(), buffer.size() - 1, &n);
    if (n <= 0) {
        buffer[0] = 0;
        SetString(GetParam(2), "");
        return VmReturnString("");
    }
    buffer[static_cast<size_t>(n)] = 0;
    SetString(GetParam(2), sender);
    ReturnBytes(buffer.data(), n);
}

void CVmNetworkFunctions::NetVarReceiveFrom(CVmClassBase*, int) {
    const int32_t socket = GetParamInt(1, false);
    if (socket <= 0) return SetString(GetParam(2), "");
    std::vector<uint8_t>& buffer = NetworkBuffer();
    long n = -1;
    const std::string sender = NetManager()->ReceiveFrom(socket, buffer.data(), buffer.size() - 1, &n);
    // Nothing came (a non-blocking channel without data): the output
    // parameters keep what they held.
    if (n < 0) return;
    buffer[static_cast<size_t>(n)] = 0;
    CVmValue value;
    std::string name;
    if (!ReadNetworkPacket(buffer.data(), static_cast<size_t>(n), g_currentVM, value, name))
        return VmWarningMsg(this, kMsgNotAVariable);
    if (!name.empty()) SetString(GetParam(3), name);
    SetString(GetParam(2), sender);
    ReturnValue(value);
}

bool CVmNetworkFunctions::BuildPacket(int32_t valueAt, std::vector<uint8_t>& packet) {
    const CVmValue* value = GetParam(valueAt);
    if (!value) {
        VmErrorStream() << "invalid param n." << valueAt;
        return false;
    }
    std::string name;
    const bool named = ArgCount() > valueAt;
    if (named && !ReadParam(valueAt + 1, name)) return false;
    if (name.size() > kPacketNameMax) {
        VmErrorMsg(kMsgInvalidParam, valueAt + 1);
        return false;
    }
    if (!WriteNetworkPacket(*value, named ? &name : nullptr, packet)) {
        VmWarningMsg(this, kMsgNotSent);
        return false;
    }
    return true;
}

void CVmNetworkFunctions::NetVarSendTo(CVmClassBase*, int) {
    std::string host;
    int32_t port = 0;
    std::vector<uint8_t> packet;
    if (ReadParams(host, port) && BuildPacket(3, packet))
        NetManager()->SendTo(host.c_str(), port, packet.data(), packet.size());
}

// ---------------------------------------------------------------------------
// Connections

void CVmNetworkFunctions::NetAcceptTCP(CVmClassBase*, int) {
    VmReturnInteger(NetManager()->AcceptTCP(GetParamInt(1, false), GetParamInt(2, false)));
}

void CVmNetworkFunctions::NetConnectTCP(CVmClassBase*, int) {
    std::string host;
    int32_t port = 0, flags = 0;
    if (ReadParams(host, port, Optional(flags, 0)))
        VmReturnInteger(NetManager()->ConnectTCP(host.c_str(), port, flags));
}

void CVmNetworkFunctions::NetSendToTCP(CVmClassBase*, int) {
    int32_t socket = 0;
    if (!ReadParam(1, socket)) return;
    const CVmString* text = nullptr;
    if (!ReadParam(2, text, false)) return VmErrorMsg(kMsgNotAString, 2);
    NetManager()->SendTCP(socket, text->CStr(), static_cast<size_t>(text->Length()));
}

void CVmNetworkFunctions::NetReceiveFromTCP(CVmClassBase*, int) {
    const int32_t socket = GetParamInt(1, false);
    std::vector<uint8_t>& buffer = NetworkBuffer();
    long n = -1;
    if (socket > 0) NetManager()->ReceiveTCP(socket, buffer.data(), buffer.size() - 1, &n);
    if (n <= 0) return VmReturnString("");
    buffer[static_cast<size_t>(n)] = 0;
    ReturnBytes(buffer.data(), n);
}

void CVmNetworkFunctions::NetVarSendToTCP(CVmClassBase*, int) {
    int32_t socket = 0;
    std::vector<uint8_t> packet;
    if (ReadParam(1, socket) && BuildPacket(2, packet)) NetManager()->SendTCP(socket, packet.data(), packet.size());
}

void CVmNetworkFunctions::NetVarReceiveFromTCP(CVmClassBase*, int) {
    const int32_t socket = GetParamInt(1, false);
    if (socket <= 0) return;
    VRNetManager* manager = NetManager();
    NetSocketNode* node = manager->FindSocket(socket);
    if (!node) return;
    ManagerStream stream(*manager, socket);
    CVmValue value;
    std::string name;
    switch (ReceiveStreamPacket(*node, stream, NetworkBuffer(), g_currentVM, value, name)) {
    case StreamPacket::None:
        return;
    case StreamPacket::Invalid:
        return VmWarningMsg(this, kMsgNotAVariable);
    case StreamPacket::Packet:
        if (!name.empty()) SetString(GetParam(2), name);
        return ReturnValue(value);
    }
}
