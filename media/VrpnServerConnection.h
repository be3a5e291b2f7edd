// A VRPN server's connection: a TCP port listening on every address, the
// clients it accepts, and the clients it calls back when they ask by a UDP
// datagram to the same port ("<dotted IPv4 address> <TCP port>" and a
// zero). Each client gets the cookie exchange, then the descriptions of the
// server's senders and types before their first use, and a pong for each of
// its pings. Everything goes over the TCP streams; nothing waits: sockets
// do not block, and a client that lets more than 1 MB pile up, sends bad
// framing or another version's cookie is dropped.
//
// The server's devices send through Send, which also hands the message to
// the listeners on this side (a tracker reading an analog server of the
// same connection).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/VrpnConnection.h"
#include "media/VrpnEndpoint.h"

class VrpnServerConnection {
public:
    // The most clients served at once; more are turned away.
    static constexpr size_t kMaxClients = 64;

    // Listens on the port at once (0: any free one) when it can; a port
    // another socket holds is tried again by later Mainloops, at most once a
    // second, after one warning.
    explicit VrpnServerConnection(uint16_t port);
    ~VrpnServerConnection();
    VrpnServerConnection(const VrpnServerConnection&) = delete;
    VrpnServerConnection& operator=(const VrpnServerConnection&) = delete;

    bool Listening() const { return m_listener >= 0; }
    // The port listened on (0 while not listening).
    uint16_t Port() const { return m_boundPort; }
    size_t ClientCount() const { return m_clients.size(); }

    // Names a sender of this side (its id).
    int32_t Sender(const std::string& name) { return m_names.senders.Id(name); }
    // Sends a message to every client whose cookie came, and hands it to the
    // listeners of this side named as its sender.
    void Send(const std::string& sender, const std::string& type, VrpnTime time, const std::vector<uint8_t>& body);

    // Listens when it does not yet, takes new clients and call-back
    // requests, reads what the clients sent, and writes what waits.
    void Mainloop();

    void AddListener(VrpnDeviceListener* listener);
    void RemoveListener(VrpnDeviceListener* listener);

private:
    struct Client {
        std::unique_ptr<VrpnEndpoint> endpoint;
        bool connecting = false;  // a call-back connect under way
    };

    void Listen();
    void AcceptClients();
    void TakeCallBackRequests();
    // A client's message: pings are answered.
    void Received(Client& client, const std::string& sender, const std::string& type);
    // Moves a client on; false when it is to be dropped.
    bool Serve(Client& client);

    uint16_t m_port;
    uint16_t m_boundPort = 0;
    int m_listener = -1;
    int m_datagrams = -1;
    bool m_warned = false;
    std::chrono::steady_clock::time_point m_lastListen;
    VrpnLocalNames m_names;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::vector<VrpnDeviceListener*> m_listeners;
};

// Reads a call-back request: the address (network order) and port; false
// for anything else.
bool VrpnReadCallBackRequest(const uint8_t* data, size_t size, uint32_t& address, uint16_t& port);
