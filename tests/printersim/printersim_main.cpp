// printersim: a simulated network printer on a loopback address, for trying the monitor
// by hand and for the demo. Prints every connection, the bytes it receives and the
// reports it sends, in plain words; --log writes the same to a file as it goes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "printersim.h"

namespace {

void usage(FILE* to)
{
    fputs("usage: printersim [options]\n"
          "A simulated network printer on port 9100 of a loopback address. It prints every\n"
          "connection it accepts, the bytes it receives (escaped: \\r \\n \\f \\x1b ...) and\n"
          "every report it sends.\n"
          "\n"
          "  --address A            listen on A, a loopback address 127.0.0.N (default\n"
          "                         127.0.0.1); \"auto\": the first free 127.0.0.N, N = 2..250\n"
          "  --mode pjl|nonpjl      answer ECHO and send status reports (pjl, the default),\n"
          "                         or never send anything (nonpjl)\n"
          "  --pages N              page reports per job (default 1)\n"
          "  --page-interval MS     pause before each page report (default 0)\n"
          "  --quiet MS             a job's data has ended after MS without data (default 300);\n"
          "                         the end of job command or the host's shutdown end it at once\n"
          "  --ending end|canceled|never|close\n"
          "                         after the pages: the end report (default), the cancel\n"
          "                         report, nothing (the connection stays open), or close\n"
          "  --reports normal|garbage|none\n"
          "                         send the reports, bytes that are no report in their place,\n"
          "                         or no reports at all (ECHO is still answered)\n"
          "  --split                send each report and answer in two halves, 50 ms apart\n"
          "  --drop-after N         close a connection once it has received N bytes\n"
          "  --reset                that close is a reset instead of an orderly close\n"
          "  --read-delay MS        a slow reader: pause MS between receives of 512 bytes\n"
          "  --seconds N            stop after N seconds\n"
          "  --log FILE             also write everything printed to FILE, flushed as it goes\n"
          "  --save DIR             keep each connection's bytes in DIR: connection-N.received\n"
          "                         (what the host sent) and connection-N.sent (every report\n"
          "                         and answer), rewritten as they grow\n"
          "  --help                 this text\n"
          "\n"
          "It runs until --seconds have passed, Ctrl-C is pressed, or, when its standard\n"
          "input is a pipe, that pipe is closed (a script stops it by closing the pipe).\n"
          "Exit status: 0 after a normal stop, 1 when it cannot listen, 2 on a usage error.\n",
          to);
}

FILE* logFile = nullptr;
DWORD startTicks = 0;
volatile LONG stopRequested = 0;

void say(const std::string& text)
{
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "[%8.3f] ", static_cast<double>(GetTickCount() - startTicks) / 1000.0);
    std::string out = stamp + text + "\n";
    fputs(out.c_str(), stdout);
    fflush(stdout);
    if (logFile) {
        fputs(out.c_str(), logFile);
        fflush(logFile);
    }
}

// Bytes as readable lines: printable text as is, CR, LF and FF as \r \n \f, every other
// byte as \xNN; a line ends after each \n and, for data without line ends, at 100 columns.
std::string escaped(const std::string& bytes)
{
    constexpr size_t kColumns = 100;
    std::string text = "    ";
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        std::string piece;
        if (c == '\r') piece = "\\r";
        else if (c == '\n') piece = "\\n";
        else if (c == '\f') piece = "\\f";
        else if (c == '\\') piece = "\\\\";
        else if (c >= 0x20 && c < 0x7f) piece = std::string(1, static_cast<char>(c));
        else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            piece = hex;
        }
        if (column + piece.size() > kColumns) {
            text += "\n    ";
            column = 0;
        }
        text += piece;
        column += piece.size();
        if (c == '\n' && i + 1 < bytes.size()) {
            text += "\n    ";
            column = 0;
        }
    }
    return text;
}

std::string count(size_t n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Writes `bytes` to DIR\connection-N.<kind>, whole; false when it cannot.
bool saveBytes(const std::string& dir, size_t connection, const char* kind, const std::string& bytes)
{
    std::string path = dir + "\\connection-" + std::to_string(connection) + "." + kind;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

// 1: Ctrl-C or Ctrl-Break, 2: the input pipe was closed.
BOOL WINAPI onControl(DWORD)
{
    InterlockedExchange(&stopRequested, 1);
    return TRUE;
}

// Stops the program when its standard input is a pipe and the writer closes it.
void watchInput()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE || GetFileType(input) != FILE_TYPE_PIPE) return;
    std::thread([input] {
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        }
        InterlockedExchange(&stopRequested, 2);
    }).detach();
}

bool number(const char* text, unsigned long long* value)
{
    char* end = nullptr;
    if (!*text || *text == '-') return false;
    *value = strtoull(text, &end, 10);
    return *end == 0;
}

const char* name(printersim::Ending ending)
{
    switch (ending) {
    case printersim::Ending::End: return "end";
    case printersim::Ending::Canceled: return "canceled";
    case printersim::Ending::Never: return "never";
    case printersim::Ending::Close: return "close";
    }
    return "?";
}

const char* name(printersim::Reports reports)
{
    switch (reports) {
    case printersim::Reports::Normal: return "normal";
    case printersim::Reports::Garbage: return "garbage";
    case printersim::Reports::None: return "none";
    }
    return "?";
}

// What the program knows of one connection so far.
struct Shown {
    size_t bytes = 0;
    size_t reports = 0;
    bool peerClosed = false;
    bool ended = false;
};

}  // namespace

int main(int argc, char** argv)
{
    printersim::Options options;
    options.address = "127.0.0.1";
    unsigned long long seconds = 0;
    std::string logPath;
    std::string saveDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto bad = [&](const char* why) {
            fprintf(stderr, "printersim: %s: %s\n", arg.c_str(), why);
            usage(stderr);
            exit(2);
        };
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) bad("needs a value");
            return argv[++i];
        };
        auto numeric = [&](unsigned long long limit) -> unsigned long long {
            std::string text = value();
            unsigned long long n = 0;
            if (!number(text.c_str(), &n) || n > limit) bad("needs a number");
            return n;
        };
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            usage(stdout);
            return 0;
        } else if (arg == "--address") {
            options.address = value();
            if (options.address == "auto") options.address.clear();
        } else if (arg == "--mode") {
            std::string mode = value();
            if (mode != "pjl" && mode != "nonpjl") bad("pjl or nonpjl");
            options.pjl = mode == "pjl";
        } else if (arg == "--pages") {
            options.pages = static_cast<int>(numeric(100000));
        } else if (arg == "--page-interval") {
            options.pageIntervalMs = static_cast<DWORD>(numeric(3600000));
        } else if (arg == "--quiet") {
            options.quietMs = static_cast<DWORD>(numeric(3600000));
        } else if (arg == "--ending") {
            std::string ending = value();
            if (ending == "end") options.ending = printersim::Ending::End;
            else if (ending == "canceled") options.ending = printersim::Ending::Canceled;
            else if (ending == "never") options.ending = printersim::Ending::Never;
            else if (ending == "close") options.ending = printersim::Ending::Close;
            else bad("end, canceled, never or close");
        } else if (arg == "--reports") {
            std::string reports = value();
            if (reports == "normal") options.reports = printersim::Reports::Normal;
            else if (reports == "garbage") options.reports = printersim::Reports::Garbage;
            else if (reports == "none") options.reports = printersim::Reports::None;
            else bad("normal, garbage or none");
        } else if (arg == "--split") {
            options.splitReports = true;
        } else if (arg == "--drop-after") {
            options.dropAfterBytes = static_cast<size_t>(numeric(0x7fffffff));
        } else if (arg == "--reset") {
            options.resetOnDrop = true;
        } else if (arg == "--read-delay") {
            options.readDelayMs = static_cast<DWORD>(numeric(3600000));
        } else if (arg == "--seconds") {
            seconds = numeric(1000000);
        } else if (arg == "--log") {
            logPath = value();
        } else if (arg == "--save") {
            saveDir = value();
        } else {
            bad("unknown option");
        }
    }
    if (!logPath.empty()) {
        logFile = fopen(logPath.c_str(), "w");
        if (!logFile) {
            fprintf(stderr, "printersim: cannot write %s\n", logPath.c_str());
            return 1;
        }
    }

    startTicks = GetTickCount();
    printersim::Printer printer(options);
    int error = 0;
    if (!printer.Start(&error)) {
        std::string where = options.address.empty() ? "any of 127.0.0.2..250" : options.address;
        say("printersim: cannot listen on " + where + " port " + std::to_string(options.port) + " (error " +
            std::to_string(error) + ")");
        return 1;
    }
    std::string settings = options.pjl ? "PJL printer" : "printer without PJL, sends nothing";
    if (options.pjl) {
        settings += ", " + count(static_cast<size_t>(std::max(options.pages, 0)), "page") + " per job, quiet " +
                    std::to_string(options.quietMs) + " ms, ending " + name(options.ending) + ", reports " +
                    name(options.reports);
        if (options.pageIntervalMs) settings += ", " + std::to_string(options.pageIntervalMs) + " ms before each page";
        if (options.splitReports) settings += ", split reports";
    }
    if (options.dropAfterBytes)
        settings += ", drops after " + count(options.dropAfterBytes, "byte") + (options.resetOnDrop ? " (reset)" : "");
    if (options.readDelayMs) settings += ", reads slowly (" + std::to_string(options.readDelayMs) + " ms)";
    say("printersim: listening on " + printer.address() + ":" + std::to_string(options.port) + " (" + settings + ")");

    SetConsoleCtrlHandler(onControl, TRUE);
    watchInput();

    std::vector<Shown> shown;
    size_t endedTotal = 0;
    std::string why = "stopped";
    for (;;) {
        bool last = false;
        if (LONG request = InterlockedCompareExchange(&stopRequested, 0, 0)) {
            why = request == 1 ? "stopped by Ctrl-C" : "stopped: the input was closed";
            last = true;
        }
        if (seconds > 0 && GetTickCount() - startTicks >= seconds * 1000) {
            why = "stopped after " + count(static_cast<size_t>(seconds), "second");
            last = true;
        }
        // How many connections have ended: the printer counts them, not which ones. Counted
        // before the snapshot, so that the snapshot shows every host close among them.
        size_t closedNow = endedTotal;
        while (printer.WaitForClosed(closedNow + 1, 0)) ++closedNow;
        auto connections = printer.Connections();
        size_t unexplained = closedNow > endedTotal ? closedNow - endedTotal : 0;
        for (size_t i = 0; i < connections.size(); ++i) {
            std::string label = "connection " + std::to_string(i + 1);
            if (i >= shown.size()) {
                shown.push_back({});
                say(label + " accepted");
            }
            const auto& c = connections[i];
            Shown& s = shown[i];
            bool grown = c.received.size() > s.bytes || c.sent.size() > s.reports;
            if (grown && !saveDir.empty()) {
                std::string sent;
                for (const auto& report : c.sent) sent += report;
                if (!saveBytes(saveDir, i + 1, "received", c.received) || !saveBytes(saveDir, i + 1, "sent", sent))
                    say("printersim: cannot write the bytes of " + label + " into " + saveDir);
            }
            if (c.received.size() > s.bytes) {
                say(label + " received " + count(c.received.size() - s.bytes, "byte") + ":\n" +
                    escaped(c.received.substr(s.bytes)));
                s.bytes = c.received.size();
            }
            for (; s.reports < c.sent.size(); ++s.reports)
                say(label + " sent " + count(c.sent[s.reports].size(), "byte") + ":\n" + escaped(c.sent[s.reports]));
            if (c.peerClosed && !s.ended) {
                s.peerClosed = true;
                s.ended = true;
                if (unexplained) --unexplained;
                ++endedTotal;
                bool staysOpen = options.ending == printersim::Ending::Never;
                say(label + (staysOpen ? " closed by the host; the printer keeps its side open"
                                       : " closed by the host"));
            }
        }
        // The rest were closed by the printer: dropped, or its ending closes.
        for (size_t i = 0; i < shown.size() && unexplained; ++i) {
            Shown& s = shown[i];
            if (s.ended) continue;
            s.ended = true;
            --unexplained;
            ++endedTotal;
            std::string label = "connection " + std::to_string(i + 1);
            if (options.dropAfterBytes && s.bytes >= options.dropAfterBytes)
                say(label + " dropped by the printer after " + count(s.bytes, "byte") +
                    (options.resetOnDrop ? " (reset)" : ""));
            else
                say(label + " closed by the printer");
        }
        if (last) break;
        Sleep(25);
    }
    printer.Stop();
    say("printersim: " + why + "; " + count(printer.Connections().size(), "connection") + ", " +
        std::to_string(printer.BytesReceived()) + " bytes received");
    if (logFile) fclose(logFile);
    return 0;
}
