// The session layer's I/O thread side: UDP sockets or TCP connections, timers, lossy link.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <atomic>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "net/DPlayEngine.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

// The object that owns the engine. Called on the I/O thread; after each call the I/O side
// carries out whatever the owner has queued (TakePending).
class DPlayIoOwner {
public:
    virtual void IoMessage(const Endpoint& from, const std::uint8_t* bytes, std::size_t size) = 0;
    virtual void IoLinkClosed(const Endpoint& link) = 0;
    virtual void IoTick() = 0;
    virtual void IoServing(std::uint16_t port) = 0;
    virtual std::vector<Actions> TakePending() = 0;

protected:
    ~DPlayIoOwner() = default;
};

// Lives on the I/O thread; every method below runs there.
class DPlayIo : public QObject {
    Q_OBJECT
public:
    DPlayIo(DPlayIoOwner* owner, bool tcp, const QHostAddress& bindAddress);
    ~DPlayIo() override;

    bool Start();  // timer, and the client socket of the UDP connection
    std::optional<std::uint16_t> Serve(std::uint16_t port);
    void Drain();
    void Shutdown();
    // Bytes still waiting to be written on session links (TCP).
    std::size_t Backlog() const { return backlog_; }

private:
    struct Link {
        Endpoint ep;
        QTcpSocket* socket = nullptr;
        QByteArray in;
        bool peer = false;
        Clock::time_point lastActivity;
        // Accepted links: when the last complete message arrived (at first: when accepted),
        // and whether one ever did.
        Clock::time_point lastMessage;
        bool spoke = false;
        Clock::time_point since;  // when it was made or accepted
    };
    struct Delayed {
        Clock::time_point due;
        Outgoing out;
    };

    void Execute(Actions& actions);
    void SendNow(const Outgoing& out);
    void StopServing();
    void OnTimer();
    void ReadUdp(QUdpSocket* socket, Endpoint::Channel channel);
    Link* ConnectLink(const Endpoint& ep);
    void AdoptLink(QTcpSocket* socket, const Endpoint& ep);
    void ReadTcp(std::uint64_t key);
    void DropLink(std::uint64_t key, bool tellOwner, bool graceful);
    void OnNewConnection();
    // Makes room for one more accepted link from `ip`; false when there is none to make.
    bool RoomForLink(std::uint32_t ip);
    void UpdateBacklog();

    DPlayIoOwner* owner_;
    bool tcp_;
    QHostAddress bindAddress_;
    QTimer* timer_ = nullptr;
    QUdpSocket* clientUdp_ = nullptr;
    QUdpSocket* hostUdp_ = nullptr;
    QTcpServer* server_ = nullptr;
    std::unordered_map<std::uint64_t, Link> links_;
    std::vector<Delayed> delayed_;
    std::optional<std::uint16_t> serveRetry_;
    Clock::time_point lastRetry_, lastIdleCheck_;
    std::atomic<std::size_t> backlog_{0};
};
