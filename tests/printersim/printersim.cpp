// The simulated printer: a listener thread, one thread per accepted connection, and the
// PJL behaviour chosen by its options.
//
// Every wait (for data, between pages, between the halves of a split report, of a slow
// reader) is a slice of at most kSliceMs or a wait on the state's condition variable, so
// that Stop ends every thread promptly without closing a socket another thread is using.
#include "printersim.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

namespace printersim {

std::string EchoAnswer(std::string_view words)
{
    return "@PJL ECHO " + std::string(words) + "\r\n\f";
}

std::string StartReport()
{
    return "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"\"\r\n\f";
}

std::string PageReport(int page)
{
    return "@PJL USTATUS PAGE\r\n" + std::to_string(page) + "\r\n\f";
}

std::string EndReport(int pages)
{
    return "@PJL USTATUS JOB\r\nEND\r\nNAME=\"\"\r\nPAGES=" + std::to_string(pages) + "\r\n\f";
}

std::string CancelReport(int pages)
{
    return "@PJL USTATUS JOB\r\nCANCELED\r\nNAME=\"\"\r\nPAGES=" + std::to_string(pages) + "\r\n\f";
}

namespace {

// What a confused printer sends instead of a report: no "@PJL" anywhere, but a form feed
// at the end, so a host that splits its input at form feeds still sees a "report".
constexpr std::string_view kGarbage = "\x01\x02garbage~~\x7f\f";

constexpr DWORD kSliceMs = 50;
constexpr int kSlowReadSize = 512;
constexpr int kReadSize = 64 * 1024;
// A PJL command line is short; anything longer is job data, of which only the tail that
// may hold the start of a UEL needs keeping.
constexpr size_t kMaxLine = 4096;

// 127.0.0.1 .. 127.0.0.254 in network byte order, or 0.
// The N of the 127.0.0.N that Start may take when no address is given.
std::pair<int, int> addressRange()
{
    char text[16]{};
    DWORD length = GetEnvironmentVariableA("PRINTERSIM_ADDRESSES", text, sizeof(text));
    int first = 0;
    int last = 0;
    if (length > 0 && length < sizeof(text) && sscanf(text, "%d-%d", &first, &last) == 2 && first >= 2 &&
        first <= last && last <= 250) {
        return {first, last};
    }
    return {2, 99};
}

DWORD loopbackAddress(const std::string& dotted)
{
    DWORD address = inet_addr(dotted.c_str());
    DWORD host = ntohl(address);
    if (address == INADDR_NONE || (host & 0xffffff00UL) != 0x7f000000UL) return 0;
    if ((host & 0xff) == 0 || (host & 0xff) == 0xff) return 0;
    return address;
}

bool sendAll(SOCKET s, const char* data, size_t size)
{
    while (size > 0) {
        int sent = send(s, data, static_cast<int>(std::min<size_t>(size, 0x10000)), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

struct Printer::State {
    SOCKET listener = INVALID_SOCKET;
    bool winsock = false;
    bool started = false;
    bool stopped = false;  // once stopped, a printer stays stopped
    std::string address;
    DWORD ipAddress = 0;
    std::thread acceptor;
    std::mutex stopLock;  // one Stop at a time

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    bool stopping = false;
    std::vector<Connection> connections;
    std::vector<SOCKET> sockets;  // per connection, INVALID_SOCKET once closed
    std::vector<std::thread> servers;
    size_t closed = 0;
    unsigned long long bytes = 0;

    bool isStopping()
    {
        std::lock_guard guard(lock);
        return stopping;
    }
    // Sleeps, or less when the printer stops; false when it stops.
    bool pause(DWORD ms)
    {
        std::unique_lock guard(lock);
        return !changed.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopping; });
    }
    // 1: readable, 0: nothing within timeoutMs (INFINITE: no limit), -1: stopping or error.
    int waitReadable(SOCKET s, DWORD timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (isStopping()) return -1;
            DWORD slice = kSliceMs;
            if (timeoutMs != INFINITE) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) slice = 0;
                else if (left.count() < static_cast<long long>(slice)) slice = static_cast<DWORD>(left.count());
            }
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s, &readable);
            timeval wait{0, static_cast<long>(slice) * 1000};
            int ready = select(0, &readable, nullptr, nullptr, &wait);
            if (ready > 0) return 1;
            if (ready < 0) return -1;
            if (slice == 0 || (timeoutMs != INFINITE && std::chrono::steady_clock::now() >= deadline)) return 0;
        }
    }
};

Printer::Printer(Options options) : options_(std::move(options)), state_(std::make_unique<State>()) {}

Printer::~Printer()
{
    Stop();
    if (state_->winsock) WSACleanup();
}

std::string Printer::address() const
{
    return state_->address;
}

DWORD Printer::ipAddress() const
{
    return state_->ipAddress;
}

bool Printer::Start(int* error)
{
    if (state_->started) return true;
    if (state_->stopped) {
        if (error) *error = WSAESHUTDOWN;
        return false;
    }
    if (!state_->winsock) {
        WSADATA data;
        int result = WSAStartup(MAKEWORD(2, 2), &data);
        if (result != 0) {
            if (error) *error = result;
            return false;
        }
        state_->winsock = true;
    }
    int lastError = WSAEADDRNOTAVAIL;
    auto tryAddress = [&](const std::string& dotted) -> bool {
        // Loopback only: the simulator never listens anywhere else.
        DWORD ip = loopbackAddress(dotted);
        if (ip == 0) {
            lastError = WSAEADDRNOTAVAIL;
            return false;
        }
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            lastError = WSAGetLastError();
            return false;
        }
        // No other socket, of this process or another, may take the same address: tests
        // running in parallel must never share a printer.
        BOOL exclusive = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(options_.port);
        address.sin_addr.s_addr = ip;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == SOCKET_ERROR ||
            listen(s, SOMAXCONN) == SOCKET_ERROR) {
            lastError = WSAGetLastError();
            closesocket(s);
            return false;
        }
        state_->listener = s;
        state_->address = dotted;
        state_->ipAddress = ip;
        return true;
    };
    bool bound = false;
    if (!options_.address.empty()) {
        bound = tryAddress(options_.address);
    } else {
        auto [first, last] = addressRange();
        for (int n = first; n <= last && !bound; ++n) bound = tryAddress("127.0.0." + std::to_string(n));
    }
    if (!bound) {
        if (error) *error = lastError;
        return false;
    }
    state_->started = true;
    state_->acceptor = std::thread([this] {
        State& st = *state_;
        for (;;) {
            int ready = st.waitReadable(st.listener, INFINITE);
            if (ready < 0) return;
            SOCKET client = accept(st.listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                if (!st.pause(kSliceMs)) return;
                continue;
            }
            std::lock_guard guard(st.lock);
            if (st.stopping) {
                closesocket(client);
                return;
            }
            size_t index = st.connections.size();
            st.connections.push_back({});
            st.sockets.push_back(client);
            st.servers.emplace_back([this, client, index] { serve(client, index); });
            st.changed.notify_all();
            if (options_.acceptLimit && st.connections.size() >= options_.acceptLimit) {
                // Nobody listens any more: further connects are refused.
                closesocket(st.listener);
                st.listener = INVALID_SOCKET;
                return;
            }
        }
    });
    return true;
}

void Printer::Stop()
{
    State& st = *state_;
    std::lock_guard stopGuard(st.stopLock);
    if (!st.started) return;
    {
        std::lock_guard guard(st.lock);
        st.stopping = true;
        // Wakes a thread that is blocked in send; the others notice within a slice.
        for (SOCKET s : st.sockets)
            if (s != INVALID_SOCKET) shutdown(s, SD_BOTH);
        st.changed.notify_all();
    }
    if (st.acceptor.joinable()) st.acceptor.join();
    if (st.listener != INVALID_SOCKET) closesocket(st.listener);
    st.listener = INVALID_SOCKET;
    std::vector<std::thread> servers;
    {
        std::lock_guard guard(st.lock);
        servers.swap(st.servers);
    }
    for (auto& server : servers) server.join();
    st.started = false;
    st.stopped = true;
}

std::vector<Connection> Printer::Connections() const
{
    std::lock_guard guard(state_->lock);
    return state_->connections;
}

std::string Printer::Received() const
{
    std::lock_guard guard(state_->lock);
    std::string all;
    for (const auto& connection : state_->connections) all += connection.received;
    return all;
}

unsigned long long Printer::BytesReceived() const
{
    std::lock_guard guard(state_->lock);
    return state_->bytes;
}

bool Printer::WaitForConnections(size_t count, DWORD timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->connections.size() >= count; });
}

bool Printer::WaitForBytes(unsigned long long count, DWORD timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->bytes >= count; });
}

bool Printer::WaitForClosed(size_t count, DWORD timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->closed >= count; });
}

bool Printer::WaitForSent(size_t index, size_t count, DWORD timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        return index < state_->connections.size() && state_->connections[index].sent.size() >= count;
    });
}

void Printer::serve(SOCKET client, size_t index)
{
    const Options& o = options_;
    State& st = *state_;
    bool jobReports = false, pageReports = false;
    bool inJob = false;  // the header has arrived, the data has not ended yet
    bool open = true;    // the printer has not closed its side
    bool counted = false;
    std::string line;
    unsigned long long received = 0;

    auto ended = [&](bool peerClosed) {
        if (counted) return;
        counted = true;
        std::lock_guard guard(st.lock);
        st.connections[index].peerClosed = peerClosed;
        ++st.closed;
        st.changed.notify_all();
    };
    // Recorded before it goes out: once the host has read a report, a test finds it.
    // False when the host no longer takes what the printer sends.
    auto sendWire = [&](std::string_view wire) {
        if (!open) return false;
        {
            std::lock_guard guard(st.lock);
            auto& sent = st.connections[index].sent;
            if (sent.size() < kKeptSent) sent.emplace_back(wire);
            st.changed.notify_all();
        }
        if (o.splitReports && wire.size() > 1) {
            size_t half = wire.size() / 2;
            return sendAll(client, wire.data(), half) && st.pause(o.splitPauseMs) &&
                   sendAll(client, wire.data() + half, wire.size() - half);
        }
        return sendAll(client, wire.data(), wire.size());
    };
    auto report = [&](const std::string& text) {
        if (!o.pjl || o.reports == Reports::None) return true;
        return sendWire(o.reports == Reports::Garbage ? kGarbage : std::string_view(text));
    };
    // The job's data has ended: the pages come out, then the ending.
    auto finishJob = [&] {
        if (!inJob) return;
        inJob = false;
        for (int page = 1; (page <= o.pages || o.floodPages) && open; ++page) {
            if (o.pageIntervalMs && !st.pause(o.pageIntervalMs)) return;
            if (o.floodPages && st.isStopping()) return;
            if (pageReports && !report(PageReport(page)) && o.floodPages) return;
        }
        switch (o.ending) {
        case Ending::End:
            if (jobReports) report(EndReport(std::max(o.pages, 0)));
            break;
        case Ending::Canceled:
            if (jobReports) report(CancelReport(std::max(o.pages, 0)));
            break;
        case Ending::Never:
            break;
        case Ending::Close:
            open = false;
            break;
        }
    };
    auto handleLine = [&](std::string_view text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        if (startsWith(text, "@PJL ECHO")) {
            std::string_view words = text.substr(9);
            if (!words.empty() && words.front() == ' ') words.remove_prefix(1);
            std::string answer = EchoAnswer(words);
            if (o.echoFormFeedApart) {
                answer.pop_back();
                if (sendWire(answer) && st.pause(o.splitPauseMs)) sendWire("\f");
            } else {
                sendWire(answer);
            }
            return;
        }
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        if (text == "@PJL USTATUSOFF") {
            jobReports = pageReports = false;
        } else if (text == "@PJL USTATUS JOB=ON") {
            jobReports = true;
        } else if (text == "@PJL USTATUS PAGE=ON") {
            // The last line of the header: the job has started.
            pageReports = true;
            finishJob();  // a header before the previous job's data ended
            inJob = true;
            if (jobReports) report(StartReport());
        } else if (startsWith(text, "@PJL EOJ")) {
            finishJob();
        }
    };
    auto parse = [&](const char* data, int size) {
        for (int i = 0; i < size && open; ++i) {
            char c = data[i];
            line += c;
            if (c == 'X' && line.size() >= kUel.size() &&
                std::string_view(line).substr(line.size() - kUel.size()) == kUel) {
                line.clear();  // a UEL starts a new line, whatever came before it
            } else if (c == '\n') {
                handleLine(line);
                line.clear();
            } else if (line.size() > kMaxLine) {
                line.erase(0, line.size() - (kUel.size() - 1));
            }
        }
    };

    std::vector<char> buffer(kReadSize);
    bool hostClosed = false, hostShutDown = false, dropped = false;
    for (;;) {
        DWORD quiet = inJob ? o.quietMs : INFINITE;
        int ready = st.waitReadable(client, o.closeIdleMs && received == 0 ? std::min(quiet, o.closeIdleMs) : quiet);
        if (ready < 0) break;
        if (ready == 0 && o.closeIdleMs && received == 0) break;  // the printer closes the connection
        if (ready == 0) {
            finishJob();
            if (!open) break;
            continue;
        }
        if (o.readLimit && received >= o.readLimit) {
            // A printer that no longer reads, until it is stopped.
            std::unique_lock guard(st.lock);
            st.changed.wait(guard, [&] { return st.stopping; });
            break;
        }
        int size = o.readDelayMs ? kSlowReadSize : kReadSize;
        if (o.readLimit)
            size = static_cast<int>(std::min<unsigned long long>(static_cast<unsigned long long>(size),
                                                                 o.readLimit - received));
        if (o.dropAfterBytes)
            size = static_cast<int>(std::min<unsigned long long>(static_cast<unsigned long long>(size),
                                                                 o.dropAfterBytes - received));
        int count = recv(client, buffer.data(), size, 0);
        if (count <= 0) {
            if (!st.isStopping()) {
                hostClosed = true;
                hostShutDown = count == 0;
            }
            break;
        }
        received += static_cast<unsigned long long>(count);
        {
            std::lock_guard guard(st.lock);
            st.bytes += static_cast<unsigned long long>(count);
            if (o.record) st.connections[index].received.append(buffer.data(), static_cast<size_t>(count));
            st.changed.notify_all();
        }
        if (o.pjl) parse(buffer.data(), count);
        if (!open) break;
        if (o.dropAfterBytes && received >= o.dropAfterBytes) {
            dropped = true;
            break;
        }
        if (o.readDelayMs && !st.pause(o.readDelayMs)) break;
    }

    if (hostShutDown && open) finishJob();  // the host may still read what the printer says
    if (hostClosed || dropped || !open) ended(hostClosed);
    // A printer that never ends keeps its side open until it is stopped.
    if (hostClosed && open && o.ending == Ending::Never) {
        std::unique_lock guard(st.lock);
        st.changed.wait(guard, [&] { return st.stopping; });
    }
    if (dropped && o.resetOnDrop) {
        linger reset{1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset));
    }
    {
        std::lock_guard guard(st.lock);
        closesocket(client);
        st.sockets[index] = INVALID_SOCKET;
    }
    ended(false);
}

}  // namespace printersim
