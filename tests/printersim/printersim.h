// A simulated network printer for the tests and the demo: listens on a loopback address
// 127.0.0.N:9100, records every byte it receives, and answers as a PJL printer would.
//
// Wire format (the reference the tests compare the monitor's bytes against):
//   ECHO probe from the host   UEL "@PJL ECHO <words>" CR LF
//   ECHO answer                "@PJL ECHO <words>" CR LF FF
//   job header from the host   UEL "@PJL JOB" CR LF "@PJL USTATUSOFF" CR LF
//                              "@PJL USTATUS JOB=ON" CR LF "@PJL USTATUS PAGE=ON" CR LF
//   end of job from the host   UEL "@PJL EOJ " CR LF UEL
//   start report               "@PJL USTATUS JOB" CR LF "START" CR LF "NAME=""" CR LF FF
//   page report                "@PJL USTATUS PAGE" CR LF "<n>" CR LF FF
//   end report                 "@PJL USTATUS JOB" CR LF "END" CR LF "NAME=""" CR LF
//                              "PAGES=<n>" CR LF FF
//   cancel report              "@PJL USTATUS JOB" CR LF "CANCELED" CR LF "NAME=""" CR LF
//                              "PAGES=<n>" CR LF FF
// UEL is ESC "%-12345X"; FF is 0x0C.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace printersim {

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kEchoProbe = "\x1b%-12345X@PJL ECHO Testing\r\n";
constexpr std::string_view kJobHeader =
    "\x1b%-12345X@PJL JOB\r\n@PJL USTATUSOFF\r\n@PJL USTATUS JOB=ON\r\n@PJL USTATUS PAGE=ON\r\n";
constexpr std::string_view kEndOfJob = "\x1b%-12345X@PJL EOJ \r\n\x1b%-12345X";
static_assert(kEchoProbe.size() == 28);
static_assert(kJobHeader.size() == 79);
static_assert(kEndOfJob.size() == 29);

std::string EchoAnswer(std::string_view words);  // "@PJL ECHO <words>\r\n\f"
std::string StartReport();
std::string PageReport(int page);
std::string EndReport(int pages);
std::string CancelReport(int pages);

// How the printer ends a job's reports.
enum class Ending {
    End,       // the end report
    Canceled,  // the cancel report instead of the end report
    Never,     // pages, but no end report; the connection stays open, also after the
               // host has shut down its side
    Close,     // pages, then the printer closes the connection without an end report
};

enum class Reports {
    Normal,   // start, pages and the ending above
    Garbage,  // bytes that are no PJL report at all, instead of every report
    None,     // no reports, though ECHO is answered
};

struct Options {
    // A loopback address, never anything else. Empty: Start takes the first 127.0.0.N
    // whose port is free, so tests running in parallel each get their own printer; N
    // from 2 up to 99, or in the range "FIRST-LAST" that the environment variable
    // PRINTERSIM_ADDRESSES gives (a test in a Wine prefix of its own, whose printers
    // no test of another prefix may take while its monitor may still call them).
    std::string address;
    unsigned short port = 9100;
    bool pjl = true;           // false: a printer that never answers anything
    int pages = 1;             // page reports per job
    DWORD pageIntervalMs = 0;  // pause before each page report
    DWORD quietMs = 300;       // a job's data has ended after this long without data
    Reports reports = Reports::Normal;
    Ending ending = Ending::End;
    bool splitReports = false;  // each report goes out in two sends, splitPauseMs apart
    DWORD splitPauseMs = 50;    // between the two sends of a split report or ECHO answer
    size_t dropAfterBytes = 0;  // close a connection once it has received this many bytes
    bool resetOnDrop = false;   // that close is a reset (linger on, 0 s) instead of FIN
    DWORD readDelayMs = 0;      // pause between receives of at most 512 bytes: a slow reader
    size_t readLimit = 0;       // stop reading a connection once it has received this many
                                // bytes; it stays open until the printer stops
    DWORD closeIdleMs = 0;      // close every connection on which nothing at all has arrived
                                // for this long
    bool echoFormFeedApart = false;  // the ECHO answer's form feed goes out in a send of its own
    size_t acceptLimit = 0;     // accept this many connections, then refuse every other one
    bool floodPages = false;    // once the job's data has ended, page reports without pause
                                // until the connection ends (only the first kKeptSent are kept)
    bool record = true;         // false: count the bytes only (a sink for benchmarks)
};

constexpr size_t kKeptSent = 1000;

// One accepted connection: the bytes it received in order, and what it sent back.
struct Connection {
    std::string received;
    std::vector<std::string> sent;  // each report or answer, whole, in order
    bool peerClosed = false;        // the host shut down or closed its side
};

class Printer {
public:
    explicit Printer(Options options);
    ~Printer();  // stops the printer
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Binds and listens; false (with the Winsock error in *error) when it cannot.
    bool Start(int* error = nullptr);
    void Stop();  // closes the listener and every connection, joins the threads

    const Options& options() const { return options_; }
    std::string address() const;  // the listening address, dotted
    DWORD ipAddress() const;      // the listening address in network byte order

    std::vector<Connection> Connections() const;  // a snapshot, in order of acceptance
    std::string Received() const;                 // every connection's bytes, concatenated
    unsigned long long BytesReceived() const;     // also counted when not recording
    // Wait until that many connections were accepted / bytes received / connections
    // have ended (peer closed or dropped); false on time-out.
    bool WaitForConnections(size_t count, DWORD timeoutMs) const;
    bool WaitForBytes(unsigned long long count, DWORD timeoutMs) const;
    bool WaitForClosed(size_t count, DWORD timeoutMs) const;
    // Wait until connection `index` has sent that many reports or answers (at most kKeptSent).
    bool WaitForSent(size_t index, size_t count, DWORD timeoutMs) const;

private:
    struct State;
    void serve(SOCKET client, size_t index);  // one connection, on its own thread
    Options options_;
    std::unique_ptr<State> state_;
};

// 127.0.0.254: no test listens there, so a connect is refused (10061).
constexpr char kRefusingAddress[] = "127.0.0.254";

}  // namespace printersim
