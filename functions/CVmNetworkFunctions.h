// The global functions of networking: UDP channels and datagrams, TCP
// channels and connections, raw bytes and network variable packets
// (NetworkPacket.h), all on the process's network manager.
#pragma once

#include <cstdint>
#include <vector>

#include "functions/FunctionTable.h"

class CVmNetworkFunctions : public CVmFunctionGroup {
public:
    CVmNetworkFunctions() : CVmFunctionGroup(FunctionGroup::Network) {}

protected:
    void AddFunctions() override;

private:
    void NetGetIP(CVmClassBase* object, int mode);
    void NetCreateChannel(CVmClassBase* object, int mode);
    void NetSetMulticastIP(CVmClassBase* object, int mode);
    void NetReceiveFrom(CVmClassBase* object, int mode);
    void NetSendTo(CVmClassBase* object, int mode);
    void NetVarReceiveFrom(CVmClassBase* object, int mode);
    void NetVarSendTo(CVmClassBase* object, int mode);
    void NetVarReceiveFromTCP(CVmClassBase* object, int mode);
    void NetVarSendToTCP(CVmClassBase* object, int mode);
    void NetReceiveFromTCP(CVmClassBase* object, int mode);
    void NetClose(CVmClassBase* object, int mode);
    void NetSendToTCP(CVmClassBase* object, int mode);
    void NetCreateChannelTCP(CVmClassBase* object, int mode);
    void NetAcceptTCP(CVmClassBase* object, int mode);
    void NetConnectTCP(CVmClassBase* object, int mode);
    void NetDataReady(CVmClassBase* object, int mode);

    // The packet of parameter `valueAt` with the optional name after it;
    // false, with the script's error or warning given, when there is none
    // to send.
    bool BuildPacket(int32_t valueAt, std::vector<uint8_t>& packet);
};
