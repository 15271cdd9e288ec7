// The simulated printer: a listener thread, one thread per accepted connection, and the
// PJL behaviour chosen by its options.
#include "printersim.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

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

constexpr char kGarbage[] = "\x01\x02~~garbage~~\x7f\f";

}  // namespace

struct Printer::State {
    SOCKET listener = INVALID_SOCKET;
    std::string address;
    DWORD ipAddress = 0;
    std::thread acceptor;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::vector<Connection> connections;
    std::vector<SOCKET> sockets;  // open connection sockets, for Stop
    std::vector<std::thread> servers;
    size_t closed = 0;
    unsigned long long bytes = 0;
    std::atomic<bool> stopping{false};
};

Printer::Printer(Options options) : options_(std::move(options)), state_(std::make_unique<State>()) {}

Printer::~Printer()
{
    Stop();
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
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    auto tryAddress = [&](const std::string& dotted) -> bool {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        BOOL exclusive = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(options_.port);
        address.sin_addr.s_addr = inet_addr(dotted.c_str());
        // Loopback only: the simulator never listens anywhere else.
        if ((ntohl(address.sin_addr.s_addr) >> 24) != 127 ||
            bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == SOCKET_ERROR ||
            listen(s, 16) == SOCKET_ERROR) {
            if (error) *error = WSAGetLastError();
            closesocket(s);
            return false;
        }
        state_->listener = s;
        state_->address = dotted;
        state_->ipAddress = address.sin_addr.s_addr;
        return true;
    };
    bool started = false;
    if (!options_.address.empty()) {
        started = tryAddress(options_.address);
    } else {
        for (int n = 2; n <= 250 && !started; ++n) started = tryAddress("127.0.0." + std::to_string(n));
    }
    if (!started) return false;
    state_->acceptor = std::thread([this] {
        for (;;) {
            SOCKET client = accept(state_->listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::lock_guard guard(state_->lock);
            if (state_->stopping) {
                closesocket(client);
                return;
            }
            size_t index = state_->connections.size();
            state_->connections.push_back({});
            state_->sockets.push_back(client);
            state_->servers.emplace_back([this, client, index] { serve(client, index); });
            state_->changed.notify_all();
        }
    });
    return true;
}

void Printer::Stop()
{
    if (!state_ || state_->listener == INVALID_SOCKET) return;
    state_->stopping = true;
    closesocket(state_->listener);
    state_->listener = INVALID_SOCKET;
    if (state_->acceptor.joinable()) state_->acceptor.join();
    std::vector<std::thread> servers;
    {
        std::lock_guard guard(state_->lock);
        for (SOCKET s : state_->sockets) shutdown(s, SD_BOTH);
        servers.swap(state_->servers);
    }
    for (auto& server : servers) server.join();
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

void Printer::serve(SOCKET client, size_t index)
{
    const Options& o = options_;
    bool jobReports = false, pageReports = false, jobStarted = false, jobEnded = false, open = true;
    std::string line;
    unsigned long long received = 0;

    auto sendText = [&](const std::string& text) {
        if (!open) return;
        std::string wire = o.reports == Reports::Garbage && text.rfind("@PJL ECHO", 0) != 0 ? kGarbage : text;
        if (o.splitReports && wire.size() > 1) {
            size_t half = wire.size() / 2;
            send(client, wire.data(), static_cast<int>(half), 0);
            Sleep(50);
            send(client, wire.data() + half, static_cast<int>(wire.size() - half), 0);
        } else {
            send(client, wire.data(), static_cast<int>(wire.size()), 0);
        }
        std::lock_guard guard(state_->lock);
        state_->connections[index].sent.push_back(wire);
        state_->changed.notify_all();
    };
    auto report = [&](const std::string& text) {
        if (o.pjl && o.reports != Reports::None && jobReports) sendText(text);
    };
    auto endJob = [&]() {
        if (!jobStarted || jobEnded) return;
        jobEnded = true;
        for (int page = 1; page <= o.pages && open; ++page) {
            if (o.pageIntervalMs) Sleep(o.pageIntervalMs);
            if (pageReports) report(PageReport(page));
        }
        switch (o.ending) {
        case Ending::End: report(EndReport(o.pages)); break;
        case Ending::Canceled: report(CancelReport(o.pages)); break;
        case Ending::Never: break;
        case Ending::Close:
            shutdown(client, SD_BOTH);
            open = false;
            break;
        }
    };
    auto handleLine = [&](std::string text) {
        if (size_t uel = text.find(kUel); uel != std::string::npos) text.erase(0, uel + kUel.size());
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
        if (!o.pjl) return;
        if (text.rfind("@PJL ECHO", 0) == 0) {
            sendText(EchoAnswer(text.size() > 10 ? text.substr(10) : ""));
        } else if (text == "@PJL USTATUS JOB=ON") {
            jobReports = true;
        } else if (text == "@PJL USTATUS PAGE=ON") {
            pageReports = true;
            jobStarted = true;
            report(StartReport());
        } else if (text.rfind("@PJL EOJ", 0) == 0) {
            endJob();
        }
    };

    char buffer[4096];
    for (;;) {
        if (jobStarted && !jobEnded && open) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(client, &readable);
            timeval quiet{static_cast<long>(o.quietMs / 1000), static_cast<long>(o.quietMs % 1000 * 1000)};
            int ready = select(0, &readable, nullptr, nullptr, &quiet);
            if (ready == 0) {
                endJob();
                continue;
            }
        }
        int size = o.readDelayMs ? 512 : static_cast<int>(sizeof(buffer));
        if (o.dropAfterBytes) size = static_cast<int>(std::min<unsigned long long>(size, o.dropAfterBytes - received));
        int count = recv(client, buffer, size, 0);
        if (count <= 0) break;
        received += static_cast<unsigned long long>(count);
        {
            std::lock_guard guard(state_->lock);
            state_->bytes += static_cast<unsigned long long>(count);
            if (o.record) state_->connections[index].received.append(buffer, static_cast<size_t>(count));
            state_->changed.notify_all();
        }
        for (int i = 0; i < count && o.pjl; ++i) {
            line += buffer[i];
            if (buffer[i] == '\n') {
                handleLine(line);
                line.clear();
            } else if (line.size() > 4096) {
                line.clear();  // job data, not a command line
            }
        }
        if (o.dropAfterBytes && received >= o.dropAfterBytes) {
            if (o.resetOnDrop) {
                linger reset{1, 0};
                setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset));
            }
            open = false;
            break;
        }
        if (o.readDelayMs) Sleep(o.readDelayMs);
        if (!open && o.ending == Ending::Close) break;
    }
    bool peerClosed = open;
    if (open && jobStarted) endJob();  // the host shut down its side: the job's data has ended
    // A printer that never ends keeps its side open until it is stopped.
    while (peerClosed && o.ending == Ending::Never && !state_->stopping) Sleep(20);
    closesocket(client);
    std::lock_guard guard(state_->lock);
    state_->connections[index].peerClosed = peerClosed;
    for (SOCKET& s : state_->sockets)
        if (s == client) s = INVALID_SOCKET;
    ++state_->closed;
    state_->changed.notify_all();
}

}  // namespace printersim
