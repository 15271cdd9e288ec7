// printersim: a simulated network printer on a loopback address, for trying the monitor
// by hand and for the demo. Prints every connection, the bytes it receives and the
// reports it sends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "printersim.h"

namespace {

void usage()
{
    printf("usage: printersim [--address 127.0.0.N] [--mode pjl|nonpjl] [--pages N]\n"
           "                  [--page-interval MS] [--quiet MS] [--ending end|canceled|never|close]\n"
           "                  [--reports normal|garbage|none] [--split] [--drop-after N] [--reset]\n"
           "                  [--read-delay MS] [--seconds N] [--log FILE]\n"
           "Listens on port 9100 of a loopback address until N seconds have passed (default:\n"
           "until the input ends), and prints what it receives and sends.\n");
}

std::string escaped(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\r') text += "\\r";
        else if (c == '\n') text += "\\n\n    ";
        else if (c == '\f') text += "\\f";
        else if (c >= 0x20 && c < 0x7f) text += static_cast<char>(c);
        else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

FILE* logFile = nullptr;

void say(const std::string& text)
{
    fputs(text.c_str(), stdout);
    fflush(stdout);
    if (logFile) {
        fputs(text.c_str(), logFile);
        fflush(logFile);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    printersim::Options options;
    options.address = "127.0.0.1";
    int seconds = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--address") options.address = value();
        else if (arg == "--mode") options.pjl = value() != "nonpjl";
        else if (arg == "--pages") options.pages = atoi(value().c_str());
        else if (arg == "--page-interval") options.pageIntervalMs = static_cast<DWORD>(atol(value().c_str()));
        else if (arg == "--quiet") options.quietMs = static_cast<DWORD>(atol(value().c_str()));
        else if (arg == "--ending") {
            std::string ending = value();
            options.ending = ending == "canceled" ? printersim::Ending::Canceled
                             : ending == "never"  ? printersim::Ending::Never
                             : ending == "close"  ? printersim::Ending::Close
                                                  : printersim::Ending::End;
        } else if (arg == "--reports") {
            std::string reports = value();
            options.reports = reports == "garbage" ? printersim::Reports::Garbage
                              : reports == "none"  ? printersim::Reports::None
                                                   : printersim::Reports::Normal;
        } else if (arg == "--split") options.splitReports = true;
        else if (arg == "--drop-after") options.dropAfterBytes = static_cast<size_t>(atol(value().c_str()));
        else if (arg == "--reset") options.resetOnDrop = true;
        else if (arg == "--read-delay") options.readDelayMs = static_cast<DWORD>(atol(value().c_str()));
        else if (arg == "--seconds") seconds = atoi(value().c_str());
        else if (arg == "--log") logFile = fopen(value().c_str(), "w");
        else {
            usage();
            return 2;
        }
    }
    printersim::Printer printer(options);
    int error = 0;
    if (!printer.Start(&error)) {
        fprintf(stderr, "printersim: cannot listen on %s:%u (error %d)\n", options.address.c_str(), options.port, error);
        return 1;
    }
    say("printersim: listening on " + printer.address() + ":" + std::to_string(options.port) + " (" +
        (options.pjl ? "PJL printer" : "printer without PJL") + ")\n");

    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD start = GetTickCount();
    size_t shownConnections = 0;
    std::vector<size_t> shownBytes, shownReports;
    for (;;) {
        auto connections = printer.Connections();
        for (size_t i = 0; i < connections.size(); ++i) {
            if (i >= shownConnections) {
                say("connection " + std::to_string(i + 1) + " accepted\n");
                shownBytes.push_back(0);
                shownReports.push_back(0);
                shownConnections = i + 1;
            }
            const auto& c = connections[i];
            if (c.received.size() > shownBytes[i]) {
                say("  received " + std::to_string(c.received.size() - shownBytes[i]) + " bytes:\n    " +
                    escaped(c.received.substr(shownBytes[i])) + "\n");
                shownBytes[i] = c.received.size();
            }
            for (; shownReports[i] < c.sent.size(); ++shownReports[i])
                say("  sent: " + escaped(c.sent[shownReports[i]]) + "\n");
        }
        if (seconds > 0 && GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) break;
        if (seconds == 0 && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_PIPE) {
            DWORD available = 0;
            if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) break;  // input closed
        }
        Sleep(100);
    }
    printer.Stop();
    say("printersim: stopped after " + std::to_string(printer.BytesReceived()) + " bytes\n");
    return 0;
}
