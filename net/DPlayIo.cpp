// The session layer's sockets on its I/O thread: datagrams, framed TCP streams, timers.
#include "net/DPlayIo.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>

namespace {
constexpr int kTickMs = 25;
constexpr auto kServeRetry = std::chrono::milliseconds(200);
// TCP connections that are not a session's link: searches and joins in progress, and
// strangers. They are few, short and closed when idle.
constexpr std::size_t kMaxLooseLinks = 32;
constexpr auto kLooseIdle = std::chrono::seconds(10);
// An accepted link must bring a complete message within this time, and another within the
// same time after each one (a search asks every 0.7 s; a join is over in a few round trips):
// a stranger that trickles bytes cannot keep it.
constexpr auto kAcceptedQuiet = std::chrono::seconds(3);
// One computer holds at most two of them (a search and a join), so that it takes more than a
// dozen computers to fill the table.
constexpr std::size_t kMaxLooseLinksPerAddress = 2;
// And when the table is full all the same, a link that has been open this long without
// becoming a session's link gives way to a newcomer, whatever it sends: a join takes a few
// round trips, and a searcher whose link is closed simply connects again.
constexpr auto kLooseGrace = std::chrono::seconds(2);

void PutU32(QByteArray& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint32_t GetU32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return u[0] | (u[1] << 8) | (u[2] << 16) | (std::uint32_t(u[3]) << 24);
}
}  // namespace

DPlayIo::DPlayIo(DPlayIoOwner* owner, bool tcp, const QHostAddress& bindAddress)
    : owner_(owner), tcp_(tcp), bindAddress_(bindAddress) {}

DPlayIo::~DPlayIo() = default;

bool DPlayIo::Start() {
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &DPlayIo::OnTimer);
    timer_->start(kTickMs);
    if (tcp_) return true;
    clientUdp_ = new QUdpSocket(this);
    if (!clientUdp_->bind(bindAddress_, 0, QAbstractSocket::DontShareAddress)) return false;
    connect(clientUdp_, &QUdpSocket::readyRead, this,
            [this] { ReadUdp(clientUdp_, Endpoint::Client); });
    return true;
}

std::optional<std::uint16_t> DPlayIo::Serve(std::uint16_t port) {
    StopServing();
    if (tcp_) {
        server_ = new QTcpServer(this);
        if (!server_->listen(bindAddress_, port)) {
            delete server_;
            server_ = nullptr;
            return std::nullopt;
        }
        connect(server_, &QTcpServer::newConnection, this, &DPlayIo::OnNewConnection);
        return server_->serverPort();
    }
    hostUdp_ = new QUdpSocket(this);
    // Not shared: a second host on the same port must fail, not receive half the traffic.
    if (!hostUdp_->bind(bindAddress_, port, QAbstractSocket::DontShareAddress)) {
        delete hostUdp_;
        hostUdp_ = nullptr;
        return std::nullopt;
    }
    connect(hostUdp_, &QUdpSocket::readyRead, this, [this] { ReadUdp(hostUdp_, Endpoint::Host); });
    return hostUdp_->localPort();
}

void DPlayIo::StopServing() {
    serveRetry_.reset();
    // Serving may end from inside the host socket's own readyRead: close it at once (the
    // port is free again) but let it go only when that handler has returned.
    if (hostUdp_) {
        disconnect(hostUdp_, nullptr, this, nullptr);
        hostUdp_->close();
        hostUdp_->deleteLater();
        hostUdp_ = nullptr;
    }
    if (server_) {
        disconnect(server_, nullptr, this, nullptr);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    std::vector<std::uint64_t> accepted;
    for (const auto& [key, link] : links_)
        if (link.ep.channel == Endpoint::Host) accepted.push_back(key);
    for (auto key : accepted) DropLink(key, false, true);
}

void DPlayIo::Shutdown() {
    Drain();
    delete timer_;
    timer_ = nullptr;
    StopServing();
    std::vector<std::uint64_t> keys;
    for (const auto& [key, link] : links_) keys.push_back(key);
    for (auto key : keys) DropLink(key, false, true);
    delete clientUdp_;
    clientUdp_ = nullptr;
    delayed_.clear();
    // Sockets still closing go now, on their own thread, rather than with this object.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>()) delete socket;
}

void DPlayIo::Drain() {
    auto batches = owner_->TakePending();
    for (auto& actions : batches) Execute(actions);
}

void DPlayIo::Execute(Actions& actions) {
    for (auto& out : actions.sends) {
        if (out.delayMs > 0) {
            auto due = Clock::now() + std::chrono::milliseconds(out.delayMs);
            delayed_.push_back({due, std::move(out)});
            continue;
        }
        SendNow(out);
    }
    for (const auto& ep : actions.markPeers) {
        auto it = links_.find(ep.Key());
        if (it != links_.end()) it->second.peer = true;
    }
    for (const auto& ep : actions.closeLinks) DropLink(ep.Key(), false, true);
    if (actions.stopServing) StopServing();
    if (actions.serve) {
        if (auto port = Serve(*actions.serve))
            owner_->IoServing(*port);
        else
            serveRetry_ = *actions.serve;  // the old host may still hold the port a moment
        lastRetry_ = Clock::now();
    }
    UpdateBacklog();
}

void DPlayIo::SendNow(const Outgoing& out) {
    if (!tcp_) {
        QUdpSocket* socket = out.to.channel == Endpoint::Host ? hostUdp_ : clientUdp_;
        if (socket == nullptr) return;
        // A failed datagram is a lost datagram; the protocol above copes with those.
        socket->writeDatagram(reinterpret_cast<const char*>(out.bytes.data()),
                              static_cast<qint64>(out.bytes.size()), QHostAddress(out.to.ip),
                              out.to.port);
        return;
    }
    Link* link = nullptr;
    auto it = links_.find(out.to.Key());
    if (it != links_.end())
        link = &it->second;
    else if (out.to.channel == Endpoint::Client)
        link = ConnectLink(out.to);
    if (link == nullptr) return;
    QByteArray frame;
    frame.reserve(static_cast<qsizetype>(out.bytes.size() + 4));
    PutU32(frame, static_cast<std::uint32_t>(out.bytes.size()));
    frame.append(reinterpret_cast<const char*>(out.bytes.data()),
                 static_cast<qsizetype>(out.bytes.size()));
    link->socket->write(frame);
}

void DPlayIo::OnTimer() {
    auto now = Clock::now();
    if (!delayed_.empty()) {
        std::vector<Outgoing> due;
        std::erase_if(delayed_, [&](Delayed& d) {
            if (d.due > now) return false;
            due.push_back(std::move(d.out));
            return true;
        });
        for (const auto& out : due) SendNow(out);
    }
    if (serveRetry_ && now - lastRetry_ >= kServeRetry) {
        lastRetry_ = now;
        std::uint16_t port = *serveRetry_;
        if (auto bound = Serve(port))
            owner_->IoServing(*bound);
        else
            serveRetry_ = port;
    }
    if (tcp_ && now - lastIdleCheck_ >= std::chrono::milliseconds(250)) {
        lastIdleCheck_ = now;
        std::vector<std::uint64_t> idle;
        for (const auto& [key, link] : links_) {
            if (link.peer) continue;
            if (link.ep.channel == Endpoint::Host ? now - link.lastMessage >= kAcceptedQuiet
                                                  : now - link.lastActivity >= kLooseIdle)
                idle.push_back(key);
        }
        for (auto key : idle) DropLink(key, true, false);
    }
    owner_->IoTick();
    Drain();
}

void DPlayIo::ReadUdp(QUdpSocket* socket, Endpoint::Channel channel) {
    while (socket->hasPendingDatagrams()) {
        QNetworkDatagram d = socket->receiveDatagram();
        bool ok = false;
        std::uint32_t ip = d.senderAddress().toIPv4Address(&ok);
        if (!ok || d.senderPort() <= 0) continue;
        Endpoint from{channel, ip, static_cast<std::uint16_t>(d.senderPort())};
        QByteArray bytes = d.data();
        owner_->IoMessage(from, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size()));
        // The socket may be gone if the message ended the session.
        if (socket != clientUdp_ && socket != hostUdp_) break;
    }
    Drain();
}

DPlayIo::Link* DPlayIo::ConnectLink(const Endpoint& ep) {
    auto* socket = new QTcpSocket(this);
    AdoptLink(socket, ep);
    socket->connectToHost(QHostAddress(ep.ip), ep.port);
    return &links_[ep.Key()];
}

void DPlayIo::AdoptLink(QTcpSocket* socket, const Endpoint& ep) {
    std::uint64_t key = ep.Key();
    Link link;
    link.ep = ep;
    link.socket = socket;
    link.lastActivity = link.lastMessage = link.since = Clock::now();
    links_[key] = std::move(link);
    connect(socket, &QTcpSocket::readyRead, this, [this, key] { ReadTcp(key); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { UpdateBacklog(); });
    auto lost = [this, key, socket] {
        auto it = links_.find(key);
        if (it != links_.end() && it->second.socket == socket) {
            DropLink(key, true, false);
            Drain();
        }
    };
    connect(socket, &QTcpSocket::disconnected, this, lost);
    connect(socket, &QTcpSocket::errorOccurred, this, lost);
}

void DPlayIo::OnNewConnection() {
    while (server_ != nullptr && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        bool ok = false;
        std::uint32_t ip = socket->peerAddress().toIPv4Address(&ok);
        Endpoint ep{Endpoint::Host, ip, socket->peerPort()};
        if (!ok || links_.count(ep.Key()) != 0 || !RoomForLink(ip)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        AdoptLink(socket, ep);
    }
}

bool DPlayIo::RoomForLink(std::uint32_t ip) {
    auto loose = [](const Link& l) { return !l.peer && l.ep.channel == Endpoint::Host; };
    for (int pass = 0; pass < 2; ++pass) {
        // First the computer's own share, then the table as a whole.
        auto counts = [&](const Link& l) { return loose(l) && (pass == 1 || l.ep.ip == ip); };
        const std::size_t limit = pass == 0 ? kMaxLooseLinksPerAddress : kMaxLooseLinks;
        std::size_t n = 0;
        const Link* oldestSilent = nullptr;
        const Link* oldest = nullptr;
        for (const auto& [key, link] : links_) {
            if (!counts(link)) continue;
            ++n;
            if (!link.spoke && (!oldestSilent || link.lastMessage < oldestSilent->lastMessage))
                oldestSilent = &link;
            if (!oldest || link.since < oldest->since) oldest = &link;
        }
        if (n < limit) continue;
        // Full: a link that never brought a complete message gives way to the newcomer, and
        // failing that the oldest one once it has had its time; links that are still young
        // keep their place, and the newcomer is refused.
        const Link* victim = oldestSilent;
        if (victim == nullptr && Clock::now() - oldest->since >= kLooseGrace) victim = oldest;
        if (victim == nullptr) return false;
        DropLink(victim->ep.Key(), true, false);
    }
    return true;
}

void DPlayIo::ReadTcp(std::uint64_t key) {
    auto it = links_.find(key);
    if (it == links_.end()) return;
    Link& link = it->second;
    link.in.append(link.socket->readAll());
    link.lastActivity = Clock::now();
    Endpoint ep = link.ep;
    QTcpSocket* socket = link.socket;
    qsizetype offset = 0;
    bool bad = false;
    for (;;) {
        auto here = links_.find(key);
        if (here == links_.end() || here->second.socket != socket) return Drain();
        QByteArray& in = here->second.in;
        if (in.size() - offset < 4) break;
        std::uint32_t length = GetU32(in.constData() + offset);
        // A length that no message can have means the stream is out of step for good.
        if (length < dpwire::kHeaderSize || length > dpwire::kMaxWire) {
            bad = true;
            break;
        }
        if (static_cast<std::uint64_t>(in.size() - offset) < 4ull + length) break;
        QByteArray message = in.mid(offset + 4, length);
        offset += 4 + length;
        here->second.lastMessage = Clock::now();
        here->second.spoke = true;
        owner_->IoMessage(ep, reinterpret_cast<const std::uint8_t*>(message.constData()),
                          static_cast<std::size_t>(message.size()));
    }
    auto here = links_.find(key);
    if (here != links_.end() && here->second.socket == socket) {
        if (bad)
            DropLink(key, true, false);
        else
            here->second.in.remove(0, offset);
    }
    Drain();
}

void DPlayIo::DropLink(std::uint64_t key, bool tellOwner, bool graceful) {
    auto it = links_.find(key);
    if (it == links_.end()) return;
    Endpoint ep = it->second.ep;
    QTcpSocket* socket = it->second.socket;
    links_.erase(it);
    socket->disconnect(this);
    if (graceful) {
        // Whatever was written (a last acknowledgement) still goes out before the close.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
    } else {
        socket->abort();
        socket->deleteLater();
    }
    if (tellOwner) owner_->IoLinkClosed(ep);
    UpdateBacklog();
}

void DPlayIo::UpdateBacklog() {
    std::size_t total = 0;
    for (const auto& [key, link] : links_)
        if (link.peer) total += static_cast<std::size_t>(link.socket->bytesToWrite());
    backlog_ = total;
}
