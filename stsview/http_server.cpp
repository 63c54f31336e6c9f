#include "stsview/http_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "stsview/http_reply.h"

namespace sts {

namespace {

using steady = std::chrono::steady_clock;

// epoll keys: the three descriptors of the loop, then one per connection
// (never reused, so that a worker's reply for a connection closed
// meanwhile finds nothing rather than the next connection on its fd).
constexpr uint64_t listen_key = 0, wake_key = 1, stop_key = 2, first_connection = 3;

// After a reply with Connection: close the sending side is shut and what
// the client still sends is read and dropped for a while, so that the
// reply reaches it before the close (a close with unread bytes resets the
// connection, and the client may lose the reply).
constexpr size_t linger_max_bytes = 256 * 1024;
constexpr std::chrono::milliseconds linger_time{1000};
// How often the deadlines are looked at (the loop wakes at least as often).
constexpr std::chrono::milliseconds sweep_every{100};
constexpr size_t read_chunk = 16 * 1024;

enum class phase {
    idle,       // waiting for a request's first byte
    head,       // some of a request head read
    working,    // a worker has its request
    writing,    // the reply going out
    lingering,  // closing: the reply sent, the rest of the input dropped
};

struct connection {
    int fd = -1;
    uint64_t id = 0;
    http_connection in;
    phase at = phase::idle;
    steady::time_point since;  // when this phase began
    uint32_t events = 0;       // the epoll interest now
    bool watched = true;       // in the epoll set
    bool hung_up = false;      // the client went while a worker had its request
    bool keep_alive = true;
    std::string head, body;  // the reply going out
    size_t sent = 0, drained = 0;
};

struct job {
    uint64_t id;
    int fd;
    http_request request;
};

// A reply as a worker left it: sent in part or whole (the worker writes
// what the socket takes at once, so that a reply does not wait for the
// loop to wake), or the connection broken.
struct finished {
    uint64_t id;
    std::string head, body;
    bool keep_alive;
    size_t sent = 0;
    bool broken = false;
};

enum class sent { all, blocked, broken };

// Writes what the socket takes of head and body past *done.
sent send_some(int fd, const std::string& head, const std::string& body, size_t* done) {
    while (*done < head.size() + body.size()) {
        iovec parts[2];
        int count = 0;
        if (*done < head.size()) parts[count++] = {const_cast<char*>(head.data()) + *done, head.size() - *done};
        const size_t body_at = *done > head.size() ? *done - head.size() : 0;
        if (body_at < body.size()) parts[count++] = {const_cast<char*>(body.data()) + body_at, body.size() - body_at};
        msghdr m{};
        m.msg_iov = parts;
        m.msg_iovlen = static_cast<size_t>(count);
        const ssize_t n = sendmsg(fd, &m, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? sent::blocked : sent::broken;
        *done += static_cast<size_t>(n);
    }
    return sent::all;
}

// At most limit, and few enough to leave files for the grids and the rest.
size_t connection_cap(size_t limit) {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return limit;
    const size_t spare = 64;
    const size_t fit = r.rlim_cur > spare * 2 ? static_cast<size_t>(r.rlim_cur) - spare : spare;
    return std::min(limit, fit);
}

int listen_socket(const addrinfo* a) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) return -1;
    // SO_REUSEADDR alone: with SO_REUSEPORT a second server (another
    // stsview of the same user) could share a port given with --port and
    // get half of its requests.
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, SOMAXCONN) == 0) return fd;
    close(fd);
    return -1;
}

int bound_port(int fd) {
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return 0;
}

}  // namespace

struct http_server::loop {
    http_server_limits limits;
    size_t cap = 0;
    int listen_fd = -1, epoll_fd = -1, wake_fd = -1, stop_fd = -1, port = 0;
    std::unordered_map<uint64_t, std::unique_ptr<connection>> connections;
    uint64_t next_id = first_connection;
    bool accept_paused = false;
    steady::time_point accept_again;

    // Shared with the workers.
    std::mutex lock;
    std::condition_variable jobs_ready;
    std::deque<job> jobs;
    std::deque<finished> results;
    bool stopping = false;

    explicit loop(http_server_limits l) : limits(l), cap(connection_cap(l.max_connections)) {
        wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        stop_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~loop() {
        for (auto& [id, c] : connections) close(c->fd);
        for (int fd : {listen_fd, epoll_fd, wake_fd, stop_fd})
            if (fd >= 0) close(fd);
    }

    bool add(int fd, uint64_t key, uint32_t events) {
        epoll_event e{};
        e.events = events;
        e.data.u64 = key;
        return epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &e) == 0;
    }
    void watch(connection& c, uint32_t events) {
        if (!c.watched || c.events == events) return;
        epoll_event e{};
        e.events = events;
        e.data.u64 = c.id;
        epoll_ctl(epoll_fd, EPOLL_CTL_MOD, c.fd, &e);
        c.events = events;
    }
    void drop(uint64_t id) {
        const auto it = connections.find(id);
        if (it == connections.end()) return;
        close(it->second->fd);  // leaves the epoll set with it
        connections.erase(it);
    }
    void enter(connection& c, phase p) {
        c.at = p;
        c.since = steady::now();
    }

    void accept_all();
    bool make_room();
    void readable(connection& c);
    void take_requests(connection& c);
    void start_reply(connection& c, std::string head, std::string body, bool keep_alive, size_t done = 0);
    void write_out(connection& c);
    void drain(connection& c);
    void deliver();
    void sweep();
    void event(uint64_t key, uint32_t events);
    void work(const handler& h);
};

void http_server::loop::accept_all() {
    for (int i = 0; i < 64; ++i) {
        const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // No descriptor for it: close an idle one, or stop accepting
                // for a moment (the listening socket stays readable).
                if (!make_room()) {
                    epoll_ctl(epoll_fd, EPOLL_CTL_DEL, listen_fd, nullptr);
                    accept_paused = true;
                    accept_again = steady::now() + sweep_every;
                    return;
                }
                continue;
            }
            return;  // EAGAIN, or a connection that went before it was taken
        }
        if (connections.size() >= cap && !make_room()) {
            close(fd);  // every connection has a request in hand
            continue;
        }
        // Replies go out in one write, but the last segment of a large one
        // must not wait for the acknowledgement of the one before.
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto c = std::make_unique<connection>();
        c->fd = fd;
        c->id = next_id++;
        c->in = http_connection(limits.head);
        c->events = EPOLLIN;
        enter(*c, phase::idle);
        if (!add(fd, c->id, EPOLLIN)) {
            close(fd);
            continue;
        }
        connections.emplace(c->id, std::move(c));
    }
}

// Closes one connection to make room for another: one that is closing
// anyway, else the one idle longest, else the one whose head has taken
// longest.  false when every connection has a request in hand.
bool http_server::loop::make_room() {
    connection* best = nullptr;
    const auto rank = [](phase p) {
        return p == phase::lingering ? 0 : p == phase::idle ? 1 : p == phase::head ? 2 : 3;
    };
    for (auto& [id, c] : connections) {
        if (rank(c->at) == 3) continue;
        if (!best || rank(c->at) < rank(best->at) || (rank(c->at) == rank(best->at) && c->since < best->since))
            best = c.get();
    }
    if (!best) return false;
    drop(best->id);
    return true;
}

void http_server::loop::readable(connection& c) {
    char bytes[read_chunk];
    const size_t want = std::min(sizeof bytes, c.in.room());
    const ssize_t n = want == 0 ? 0 : recv(c.fd, bytes, want, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        drop(c.id);  // the client has gone (or half-closed between requests)
        return;
    }
    if (c.at == phase::idle) enter(c, phase::head);
    c.in.feed(std::string_view(bytes, static_cast<size_t>(n)));
    take_requests(c);
}

// The next request in the connection's buffer to a worker, or a refusal
// out, or back to reading.
void http_server::loop::take_requests(connection& c) {
    http_request r;
    http_refusal why;
    switch (c.in.next(&r, &why)) {
        case http_step::request: {
            enter(c, phase::working);
            watch(c, 0);
            c.keep_alive = r.keep_alive;
            {
                std::lock_guard<std::mutex> hold(lock);
                jobs.push_back({c.id, c.fd, std::move(r)});
            }
            jobs_ready.notify_one();
            return;
        }
        case http_step::refused: {
            reply refused = refusal_reply(why.status, why.message);
            std::string head = reply_head(refused, false, http_date(std::time(nullptr)));
            start_reply(c, std::move(head), std::move(refused.body), false);
            return;
        }
        case http_step::need_more:
            watch(c, EPOLLIN);
            return;
    }
}

void http_server::loop::start_reply(connection& c, std::string head, std::string body, bool keep_alive,
                                    size_t done) {
    enter(c, phase::writing);
    c.head = std::move(head);
    c.body = std::move(body);
    c.sent = done;
    c.keep_alive = keep_alive;
    write_out(c);
}

void http_server::loop::write_out(connection& c) {
    switch (send_some(c.fd, c.head, c.body, &c.sent)) {
        case sent::blocked: watch(c, EPOLLOUT); return;
        case sent::broken: drop(c.id); return;
        case sent::all: break;
    }
    std::string().swap(c.head);
    std::string().swap(c.body);
    if (!c.keep_alive) {
        shutdown(c.fd, SHUT_WR);
        enter(c, phase::lingering);
        c.drained = 0;
        watch(c, EPOLLIN);
        return;
    }
    // Pipelined requests already read come next, in order.
    enter(c, c.in.partial() ? phase::head : phase::idle);
    take_requests(c);
}

void http_server::loop::drain(connection& c) {
    char bytes[read_chunk];
    const ssize_t n = recv(c.fd, bytes, sizeof bytes, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    c.drained += n > 0 ? static_cast<size_t>(n) : 0;
    if (n <= 0 || c.drained > linger_max_bytes) drop(c.id);
}

// The workers' replies to their connections.
void http_server::loop::deliver() {
    uint64_t count = 0;
    if (read(wake_fd, &count, sizeof count) < 0) {
        // Nothing to read: another wake-up took it; the queue says what is done.
    }
    std::deque<finished> done;
    {
        std::lock_guard<std::mutex> hold(lock);
        done.swap(results);
    }
    for (finished& f : done) {
        const auto it = connections.find(f.id);
        if (it == connections.end()) continue;
        connection& c = *it->second;
        if (c.hung_up || f.broken) {
            drop(c.id);
            continue;
        }
        start_reply(c, std::move(f.head), std::move(f.body), f.keep_alive, f.sent);
    }
}

void http_server::loop::sweep() {
    const auto now = steady::now();
    std::vector<uint64_t> late;
    for (auto& [id, c] : connections) {
        const auto age = now - c->since;
        if ((c->at == phase::idle && age > limits.idle_time) || (c->at == phase::head && age > limits.head_time) ||
            (c->at == phase::writing && age > limits.reply_time) || (c->at == phase::lingering && age > linger_time))
            late.push_back(id);
    }
    for (uint64_t id : late) drop(id);
    if (accept_paused && now >= accept_again && add(listen_fd, listen_key, EPOLLIN)) accept_paused = false;
}

void http_server::loop::event(uint64_t key, uint32_t events) {
    const auto it = connections.find(key);
    if (it == connections.end()) return;  // closed earlier in this round
    connection& c = *it->second;
    if (events & (EPOLLERR | EPOLLHUP)) {
        if (c.at != phase::working) {
            drop(c.id);
            return;
        }
        // Its worker still has the request: closed when the reply comes.
        epoll_ctl(epoll_fd, EPOLL_CTL_DEL, c.fd, nullptr);
        c.watched = false;
        c.hung_up = true;
        return;
    }
    if ((c.at == phase::idle || c.at == phase::head) && (events & EPOLLIN)) readable(c);
    else if (c.at == phase::writing && (events & EPOLLOUT)) write_out(c);
    else if (c.at == phase::lingering && (events & EPOLLIN)) drain(c);
}

void http_server::loop::work(const handler& h) {
    while (true) {
        job j;
        {
            std::unique_lock<std::mutex> hold(lock);
            jobs_ready.wait(hold, [this] { return stopping || !jobs.empty(); });
            if (stopping) return;
            j = std::move(jobs.front());
            jobs.pop_front();
        }
        reply r;
        try {
            r = h(j.request);
        } catch (...) {
            r = refusal_reply(500, "internal error");
        }
        finished f{j.id, reply_head(r, j.request.keep_alive, http_date(std::time(nullptr))), "",
                   j.request.keep_alive};
        if (j.request.method != "HEAD") f.body = std::move(r.body);
        // The loop leaves a connection alone while a worker has its
        // request (no deadline, no eviction, no close), so its socket is
        // this thread's until the reply is handed back.
        f.broken = send_some(j.fd, f.head, f.body, &f.sent) == sent::broken;
        {
            std::lock_guard<std::mutex> hold(lock);
            results.push_back(std::move(f));
        }
        const uint64_t one = 1;
        if (write(wake_fd, &one, sizeof one) < 0) {
            // The counter is full: the loop is awake already.
        }
    }
}

http_server::http_server(http_server_limits limits) : loop_(std::make_unique<loop>(limits)) {}

http_server::~http_server() = default;

bool http_server::bind(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0) {
        *error = gai_strerror(status);
        return false;
    }
    for (const addrinfo* a = found; a && loop_->listen_fd < 0; a = a->ai_next) loop_->listen_fd = listen_socket(a);
    freeaddrinfo(found);
    if (loop_->listen_fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    loop_->port = bound_port(loop_->listen_fd);
    return true;
}

int http_server::port() const { return loop_->port; }

void http_server::stop() {
    const uint64_t one = 1;
    if (write(loop_->stop_fd, &one, sizeof one) < 0) {
        // Already asked.
    }
}

bool http_server::run(const handler& h, std::string* error) {
    loop& l = *loop_;
    l.epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    if (l.listen_fd < 0 || l.wake_fd < 0 || l.stop_fd < 0 || l.epoll_fd < 0 ||
        !l.add(l.listen_fd, listen_key, EPOLLIN) || !l.add(l.wake_fd, wake_key, EPOLLIN) ||
        !l.add(l.stop_fd, stop_key, EPOLLIN)) {
        *error = std::string("cannot start the server: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::thread> workers;
    for (int i = 0; i < l.limits.workers; ++i) workers.emplace_back([&l, &h] { l.work(h); });
    bool ok = true;
    epoll_event events[128];
    auto swept = steady::now();
    for (bool stop = false; !stop;) {
        const int n = epoll_wait(l.epoll_fd, events, 128, static_cast<int>(sweep_every.count()));
        if (n < 0 && errno != EINTR) {
            *error = std::string("the server's event loop failed: ") + std::strerror(errno);
            ok = false;
            break;
        }
        for (int i = 0; i < n; ++i) {
            const uint64_t key = events[i].data.u64;
            if (key == stop_key) stop = true;
            else if (key == wake_key) l.deliver();
            else if (key == listen_key) l.accept_all();
            else l.event(key, events[i].events);
        }
        if (steady::now() - swept >= sweep_every) {
            l.sweep();
            swept = steady::now();
        }
    }
    {
        std::lock_guard<std::mutex> hold(l.lock);
        l.stopping = true;
    }
    l.jobs_ready.notify_all();
    for (std::thread& t : workers) t.join();
    while (!l.connections.empty()) l.drop(l.connections.begin()->first);
    return ok;
}

}  // namespace sts
