// The network layer over Windows Sockets 1.1: connections to the printer's TCP port
// 9100, writes in pieces, and closing with an optional drain.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "pmuports.h"

// Results of prtConnect and netConnectPrinter.
constexpr WORD kConnected = 0;
constexpr WORD kConnectFailed = 1;
constexpr WORD kConnectRefused = 2;

constexpr LONG kNoSocket = -1;
constexpr u_short kPrinterPort = 9100;
constexpr u_short kNewSocketLingerSeconds = 8191;
constexpr DWORD kRetryPauseMs = 5000;    // times the number of transient failures so far
constexpr int kMaxTransientErrors = 3;
constexpr int kConnectAttempts = 2;
constexpr DWORD kWritePiece = 1024;
constexpr DWORD kDrainWaitMs = 3000;
// A printer that keeps talking is closed after this long of draining all the same.
constexpr DWORD kDrainLimitMs = 15000;
constexpr int kDrainReadSize = 128;

WORD prtConnect(QelPort* port, LONG* slot);
WORD netConnectPrinter(QelPort* port, LONG* slot);
BOOL netCreateSocket(LONG* slot);
BOOL netSetOptions(LONG socket);
BOOL netSetOptionNODELAY(LONG socket, BOOL on);
BOOL netSetOptionLinger(LONG socket, BOOL on, WORD seconds);
BOOL prtWrite(LONG socket, const BYTE* data, DWORD count, DWORD* written);
BOOL netWrite(LONG socket, const BYTE* data, DWORD count, DWORD* sent);
BOOL prtDisconnect(LONG socket, BOOL drain);
BOOL netClose(LONG* slot, BOOL drain);

inline SOCKET AsSocket(LONG slot)
{
    return static_cast<SOCKET>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(slot)));
}
