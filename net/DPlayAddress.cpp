// Reading typed host addresses: numbers, names and ports.
#include "net/DPlayAddress.h"

#include <QHostAddress>
#include <QHostInfo>
#include <algorithm>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;

std::optional<std::uint16_t> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (v == 0 || v > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

std::optional<std::uint32_t> Resolve(const std::string& host) {
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) {
        bool ok = false;
        std::uint32_t ip = address.toIPv4Address(&ok);
        if (ok) return ip;
        return std::nullopt;  // IPv6 is not offered
    }
    for (char c : host) {
        bool fine = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_';
        if (!fine) return std::nullopt;
    }
    // "localhost" is this computer whether or not the system can look names up (a machine
    // without a hosts file cannot), and asking for it costs no lookup.
    if (QString::fromStdString(host).compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return 0x7F000001u;
    QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    for (const QHostAddress& a : info.addresses()) {
        bool ok = false;
        std::uint32_t ip = a.toIPv4Address(&ok);
        if (ok) return ip;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<HostPort>> ParseAddressList(const std::string& text,
                                                      std::uint16_t defaultPort, std::string* bad) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text + " ") {
        if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    std::vector<HostPort> list;
    if (tokens.empty()) {
        list.push_back({kLoopback, defaultPort});
        return list;
    }
    for (const auto& token : tokens) {
        if (list.size() == kMaxSearchTargets) {
            *bad = token;
            return std::nullopt;
        }
        std::string host = token;
        std::uint16_t port = defaultPort;
        auto colon = token.rfind(':');
        if (colon != std::string::npos) {
            auto p = ParsePort(token.substr(colon + 1));
            host = token.substr(0, colon);
            if (!p || host.empty()) {
                *bad = token;
                return std::nullopt;
            }
            port = *p;
        }
        auto ip = Resolve(host);
        if (!ip || *ip == 0) {
            *bad = token;
            return std::nullopt;
        }
        HostPort hp{*ip, port};
        if (std::find(list.begin(), list.end(), hp) == list.end()) list.push_back(hp);
    }
    return list;
}
