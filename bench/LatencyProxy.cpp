#include "LatencyProxy.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The client's side of the protocol, read frame by frame across reads: first
// the untyped start-up frames (length, then a code), then typed frames (a
// letter, then a length that counts itself).
class FrameCounter {
public:
    FrameCounter(std::atomic<qint64>* roundTrips, std::atomic<qint64>* statements)
        : m_roundTrips(roundTrips), m_statements(statements) {}

    void feed(const unsigned char* data, size_t size) {
        while (size > 0 && !m_lost) {
            if (m_remaining > 0) {
                const size_t skipped = std::min<size_t>(m_remaining, size);
                data += skipped;
                size -= skipped;
                m_remaining -= skipped;
                continue;
            }
            const size_t need = m_startup ? 8 : 5;
            while (m_have < need && size > 0) {
                m_header[m_have++] = *data++;
                --size;
            }
            if (m_have < need)
                return;
            m_have = 0;
            if (m_startup) {
                // A TLS handshake begins with 0x16; from there on the frames
                // cannot be read.
                if (m_header[0] == 0x16) {
                    m_lost = true;
                    return;
                }
                const quint32 length = be32(m_header);
                const quint32 code = be32(m_header + 4);
                m_remaining = length >= 8 ? length - 8 : 0;
                // The requests for TLS or GSS encryption are followed by
                // another start-up frame (or by the encrypted stream).
                constexpr quint32 SslRequest = 80877103;
                constexpr quint32 GssRequest = 80877104;
                m_startup = code == SslRequest || code == GssRequest;
                continue;
            }
            const unsigned char type = m_header[0];
            const quint32 length = be32(m_header + 1);
            m_remaining = length >= 4 ? length - 4 : 0;
            switch (type) {
            case 'Q': // simple query: sent, then answered
                m_statements->fetch_add(1);
                m_roundTrips->fetch_add(1);
                break;
            case 'E': // execute of an extended query: answered at the sync
                m_statements->fetch_add(1);
                break;
            case 'S': // sync
            case 'F': // function call
                m_roundTrips->fetch_add(1);
                break;
            default:
                break;
            }
        }
    }

private:
    static quint32 be32(const unsigned char* p) {
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    }

    std::atomic<qint64>* m_roundTrips;
    std::atomic<qint64>* m_statements;
    bool m_startup = true;
    bool m_lost = false;
    unsigned char m_header[8] = {};
    size_t m_have = 0;
    quint64 m_remaining = 0;
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

timespec until(Clock::time_point due) {
    const auto left = std::max(Clock::duration::zero(), due - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{time_t(ns / 1000000000), long(ns % 1000000000)};
}

} // namespace

// The two sockets of one forwarded connection, closed when both directions
// are done with them.
struct LatencyProxy::Connection {
    int client = -1;
    int server = -1;
    ~Connection() {
        ::close(client);
        ::close(server);
    }
};

namespace {

// Moves everything from one socket to the other, each read passed on only once
// it has waited delay. At the end of the input the output is shut for writing,
// as the sender did; on a failure both sockets are shut, so that the other
// direction ends too.
void pump(int from, int to, std::chrono::microseconds delay, int stop, FrameCounter* counter) {
    struct Chunk {
        Clock::time_point due;
        QByteArray bytes;
    };
    std::deque<Chunk> queue;
    bool ended = false;
    bool failed = false;
    char buffer[65536];
    while (!failed && !(ended && queue.empty())) {
        // A socket that has ended is left out: it would report its hang-up at once, again and
        // again.
        pollfd fds[2] = {{stop, POLLIN, 0}, {ended ? -1 : from, POLLIN, 0}};
        timespec wait{};
        const int ready = ::ppoll(
            fds, 2, queue.empty() ? nullptr : (wait = until(queue.front().due), &wait), nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            return;
        if (!ended && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
            if (n > 0) {
                if (counter)
                    counter->feed(reinterpret_cast<const unsigned char*>(buffer), size_t(n));
                queue.push_back({Clock::now() + delay, QByteArray(buffer, int(n))});
            } else if (n == 0) {
                ended = true;
            } else if (errno != EINTR && errno != EAGAIN) {
                failed = true;
            }
        }
        const auto now = Clock::now();
        while (!failed && !queue.empty() && queue.front().due <= now) {
            failed =
                !writeAll(to, queue.front().bytes.constData(), size_t(queue.front().bytes.size()));
            queue.pop_front();
        }
    }
    if (failed) {
        ::shutdown(from, SHUT_RDWR);
        ::shutdown(to, SHUT_RDWR);
    } else {
        ::shutdown(to, SHUT_WR);
    }
}

} // namespace

LatencyProxy::Upstream LatencyProxy::fromEnvironment() {
    Upstream upstream;
    const QString host = qEnvironmentVariable("PGHOST");
    const QString port = qEnvironmentVariable("PGPORT");
    if (!port.isEmpty())
        upstream.port = port.toInt();
    if (host.isEmpty() || host.startsWith(u'/'))
        upstream.socketFile = QDir(host.isEmpty() ? QStringLiteral("/var/run/postgresql") : host)
                                  .filePath(QStringLiteral(".s.PGSQL.%1").arg(upstream.port));
    else
        upstream.host = host;
    return upstream;
}

LatencyProxy::LatencyProxy(Upstream upstream, std::chrono::microseconds delay)
    : m_upstream(std::move(upstream)), m_delay(delay) {}

LatencyProxy::~LatencyProxy() {
    if (m_stopPipe[1] >= 0) {
        const char stop = 1;
        (void)!::write(m_stopPipe[1], &stop, 1);
    }
    if (m_acceptor.joinable())
        m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::thread& t : m_pumps)
            t.join();
    }
    for (int fd : {m_listener, m_stopPipe[0], m_stopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

bool LatencyProxy::start(QString* error) {
    const auto fail = [error](const char* what) {
        *error = QStringLiteral("latency proxy: %1: %2")
                     .arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0)
        return fail("pipe");
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("bind");
    if (::listen(m_listener, 64) != 0)
        return fail("listen");
    socklen_t length = sizeof address;
    if (::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return fail("getsockname");
    m_port = ntohs(address.sin_port);
    // The server must be there before anyone is told to connect.
    const int probe = connectUpstream();
    if (probe < 0)
        return fail("connect to the server");
    ::close(probe);
    m_acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

int LatencyProxy::connectUpstream() const {
    if (!m_upstream.socketFile.isEmpty()) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(m_upstream.socketFile);
        if (fd < 0 || size_t(path.size()) >= sizeof address.sun_path) {
            if (fd >= 0)
                ::close(fd);
            errno = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray port = QByteArray::number(m_upstream.port);
    if (::getaddrinfo(m_upstream.host.toUtf8().constData(), port.constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

void LatencyProxy::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_stopPipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (!(fds[1].revents & POLLIN))
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            serve(client);
    }
}

void LatencyProxy::serve(int client) {
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int server = connectUpstream();
    if (server < 0) {
        ::close(client);
        return;
    }
    auto connection = std::make_shared<Connection>();
    connection->client = client;
    connection->server = server;
    auto counter = std::make_shared<FrameCounter>(&m_roundTrips, &m_statements);
    const int stop = m_stopPipe[0];
    const auto delay = m_delay;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pumps.emplace_back([connection, counter, delay, stop] {
        pump(connection->client, connection->server, delay, stop, counter.get());
    });
    m_pumps.emplace_back([connection, delay, stop] {
        pump(connection->server, connection->client, delay, stop, nullptr);
    });
}
