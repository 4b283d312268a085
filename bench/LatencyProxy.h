#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A clinic's network between a workstation and the PostgreSQL server, made on
// this machine: a port on 127.0.0.1 that forwards every connection to the
// server, holding every piece of data for a fixed time in each direction
// before passing it on (bytes keep their order; nothing is lost or merged).
//
// It also reads the frames the workstations send and counts the round trips:
// each simple query, function call and sync (the end of an extended query)
// makes the client wait for the server's answer, so each costs the delay
// twice. A connection that turns to TLS is forwarded but no longer counted.
class LatencyProxy {
public:
    // Where the server listens: a Unix socket file, or a host and port.
    struct Upstream {
        QString socketFile;
        QString host;
        int port = 5432;
    };
    // The server the libpq variables name (PGHOST, PGPORT), as libpq finds it:
    // a PGHOST that starts with a slash is the folder of the server's socket.
    static Upstream fromEnvironment();

    LatencyProxy(Upstream upstream, std::chrono::microseconds delay);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    // Listens on 127.0.0.1 at a free port. False, with error, when it cannot.
    bool start(QString* error);
    int port() const { return m_port; }

    // Round trips and statements (simple queries and executes) the clients
    // have sent since the start, over every connection.
    qint64 roundTrips() const { return m_roundTrips.load(); }
    qint64 statements() const { return m_statements.load(); }

private:
    struct Connection;
    void acceptLoop();
    void serve(int client);
    int connectUpstream() const;

    Upstream m_upstream;
    std::chrono::microseconds m_delay;
    int m_listener = -1;
    int m_port = -1;
    int m_stopPipe[2] = {-1, -1}; // written once to stop every thread
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<std::thread> m_pumps;
    std::atomic<qint64> m_roundTrips{0};
    std::atomic<qint64> m_statements{0};
};
