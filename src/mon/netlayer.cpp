// The network layer: Windows Sockets connections to the printer.
#include "netlayer.h"

#include <algorithm>
#include <cstring>

#include "monitor.h"
#include "portstatus.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

namespace {

bool transientCreateError(int error)
{
    return error == WSAEMFILE || error == WSAEINPROGRESS || error == WSAENOBUFS;
}

bool transientConnectError(int error)
{
    return error == WSAEINPROGRESS || error == WSAENOBUFS;
}

// The Winsock error of a call that failed, or the one a test build injects instead.
int injectedSocketError(FaultPoint point)
{
    DWORD error = InjectedFault(point);
    if (error) WSASetLastError(static_cast<int>(error));
    return static_cast<int>(error);
}

void pauseAfterTransient(int count)
{
    Sleep(SpecifiedWait(static_cast<DWORD>(count) * kRetryPauseMs));
}

const char* truth(BOOL value)
{
    return value ? "TRUE" : "FALSE";
}

}  // namespace

BOOL netInitialize()
{
    TRACE(TRC_FLOW, "lanportm: Entry netInitialize()\n");
    WSADATA data;
    int error = WSAStartup(MAKEWORD(1, 1), &data);
    if (error) TRACE(TRC_ERROR, "lanportm: WSAStartup failed.  Error=%d\n", error);
    TRACE(TRC_FLOW, "lanportm: Exit  netInitialize()\n");
    return error == 0;
}

WORD prtConnect(QelPort* port, LONG* slot)
{
    TRACE(TRC_FLOW, "lanportm: Entry prtConnect(pQelPort=%08x)\n", TraceAddr(port));
    WORD result = kConnectFailed;
    for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
        result = netConnectPrinter(port, slot);
        if (result != kConnectFailed) break;
        if (attempt == 1) Sleep(SpecifiedWait(kRetryPauseMs));
        if (*slot != kNoSocket) netClose(slot, FALSE);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  prtConnect returns %d\n", result);
    return result;
}

WORD netConnectPrinter(QelPort* port, LONG* slot)
{
    TRACE(TRC_FLOW, "lanportm: Entry netConnectPrinter(portName=%ls,printerType=%d)\n",
          port->portName, static_cast<int>(port->printerType));
    LONG local = kNoSocket;
    WORD result = kConnectFailed;
    if (!netCreateSocket(&local)) {
        TRACE(TRC_FLOW, "lanportm:   failed to create first socket\n");
    } else if (!netSetOptions(local)) {
        TRACE(TRC_FLOW, "lanportm:   failed to set socket options\n");
        netClose(&local, FALSE);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPrinterPort);
        address.sin_addr.s_addr = port->ipAddress;
        for (int transient = 0;;) {
            int rc = injectedSocketError(FaultPoint::SocketConnect) ? SOCKET_ERROR
                     : connect(AsSocket(local), reinterpret_cast<sockaddr*>(&address), sizeof(address));
            if (rc == 0) {
                *slot = local;
                TRACE(TRC_FLOW, "lanportm:   socket returned is %d; connected specified port OK\n",
                      static_cast<int>(local));
                result = kConnected;
                break;
            }
            int error = WSAGetLastError();
            TRACE(TRC_FLOW, "lanportm:   connect() error=%d\n", error);
            if (transientConnectError(error)) {
                pauseAfterTransient(++transient);
                if (transient < kMaxTransientErrors) continue;
                result = kConnectFailed;
            } else {
                result = error == WSAECONNREFUSED ? kConnectRefused : kConnectFailed;
            }
            NoteConnectionError(port, error);
            netClose(&local, FALSE);
            break;
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  netConnectPrinter returns %s\n",
          result == kConnected ? "success" : result == kConnectRefused ? "rejected" : "failure");
    return result;
}

BOOL netCreateSocket(LONG* slot)
{
    TRACE(TRC_FLOW, "lanportm: Entry netCreateSocket(%08x)\n", TraceAddr(slot));
    BOOL created = FALSE;
    for (int transient = 0;;) {
        SOCKET s = injectedSocketError(FaultPoint::SocketCreate) ? INVALID_SOCKET
                                                                  : socket(AF_INET, SOCK_STREAM, 0);
        if (s != INVALID_SOCKET) {
            *slot = static_cast<LONG>(s);
            created = TRUE;
            break;
        }
        int error = WSAGetLastError();
        TRACE(TRC_FLOW, "lanportm:   failed to create socket; WSAGetLastError=%d\n", error);
        if (!transientCreateError(error)) break;
        pauseAfterTransient(++transient);
        if (transient >= kMaxTransientErrors) break;
    }
    if (created) {
        WSAAsyncSelect(AsSocket(*slot), nullptr, 0, 0);
        // WSAAsyncSelect leaves the socket non-blocking even with no events; every call
        // of this layer blocks.
        u_long nonBlocking = 0;
        ioctlsocket(AsSocket(*slot), FIONBIO, &nonBlocking);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  netCreateSocket returns %d\n", created);
    return created;
}

BOOL netSetOptions(LONG socket)
{
    TRACE(TRC_FLOW, "lanportm: Entry netSetOptions(%d)\n", static_cast<int>(socket));
    BOOL result = TRUE;
    BOOL keepAlive = TRUE;
    if (setsockopt(AsSocket(socket), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&keepAlive),
                   sizeof(keepAlive)) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: netSetOptions: setsockopt(SO_KEEPALIVE) error=%d\n", WSAGetLastError());
        result = FALSE;
    } else {
        linger value{1, kNewSocketLingerSeconds};
        if (setsockopt(AsSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value),
                       sizeof(value)) == SOCKET_ERROR) {
            TRACE(TRC_FLOW, "lanportm: netSetOptions: setsockopt(SO_LINGER) error=%d\n", WSAGetLastError());
            result = FALSE;
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  netSetOptions returns %d\n", result);
    return result;
}

BOOL netSetOptionNODELAY(LONG socket, BOOL on)
{
    TRACE(TRC_FLOW, "lanportm: Entry netSetOptionNODELAY(%d,%s)\n", static_cast<int>(socket), truth(on));
    BOOL result = TRUE;
    BOOL value = on ? TRUE : FALSE;
    if (setsockopt(AsSocket(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                   sizeof(value)) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: netSetOptions: setsockopt(TCP_NODELAY) error=%d\n", WSAGetLastError());
        result = FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit netSetOptionNODELAY\n");
    return result;
}

BOOL netSetOptionLinger(LONG socket, BOOL on, WORD seconds)
{
    TRACE(TRC_FLOW, "lanportm: Entry netSetOptionLinger(%d,%s,%d)\n", static_cast<int>(socket), truth(on),
          seconds);
    BOOL result = TRUE;
    linger value{static_cast<u_short>(on ? 1 : 0), seconds};
    if (setsockopt(AsSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value),
                   sizeof(value)) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: setsockopt(Linger) error=%d\n", WSAGetLastError());
        result = FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit netSetOptionLinger\n");
    return result;
}

BOOL prtWrite(LONG socket, const BYTE* data, DWORD count, DWORD* written)
{
    DWORD total = 0;
    BOOL result = TRUE;
    while (total < count) {
        DWORD sent = 0;
        BOOL ok = netWrite(socket, data + total, std::min(count - total, kWritePiece), &sent);
        total += sent;
        if (!ok) {
            result = FALSE;
            break;
        }
    }
    *written = total;
    TRACE(TRC_FLOW, "lanportm: Exit  prtWrite(); *pcbWritten=%d\n", static_cast<int>(total));
    return result;
}

BOOL netWrite(LONG socket, const BYTE* data, DWORD count, DWORD* sent)
{
    *sent = 0;
    while (*sent < count) {
        int offered = static_cast<int>(count - *sent);
        Observe(Observation::SendCall, static_cast<DWORD>(offered));
        int rc = send(AsSocket(socket), reinterpret_cast<const char*>(data + *sent), offered, 0);
        if (rc == SOCKET_ERROR) {
            TRACE(TRC_FLOW, "lanportm: netWrite: send() error=%d\n", WSAGetLastError());
            return FALSE;
        }
        if (rc < offered)
            TRACE(TRC_FLOW, "lanportm: netWrite: send(socket=%d) ONLY %d of %d bytes, continue next round.\n",
                  static_cast<int>(socket), rc, offered);
        *sent += static_cast<DWORD>(rc);
    }
    return TRUE;
}

BOOL prtDisconnect(LONG socket, BOOL drain)
{
    TRACE(TRC_FLOW, "lanportm: Entry prtDisconnect(sockd=%d)\n", static_cast<int>(socket));
    LONG local = socket;
    BOOL result = netClose(&local, drain);
    TRACE(TRC_FLOW, "lanportm: Exit  prtDisconnect(); retrc=%d\n", result);
    return result;
}

BOOL netClose(LONG* slot, BOOL drain)
{
    TRACE(TRC_FLOW, "lanportm: Entry netClose(%d)\n", static_cast<int>(*slot));
    BOOL result = TRUE;
    SOCKET s = AsSocket(*slot);
    if (drain) {
        if (shutdown(s, SD_SEND) == SOCKET_ERROR) {
            TRACE(TRC_FLOW, "lanportm: Shutdown() returns error WSAGetLastError()=%d\n", WSAGetLastError());
        } else {
            TRACE(TRC_FLOW, "lanportm: Shutdown() returns success.\n");
            DWORD limit = SpecifiedWait(kDrainLimitMs);
            DWORD window = SpecifiedWait(kDrainWaitMs);
            DWORD start = GetTickCount();
            for (;;) {
                DWORD passed = GetTickCount() - start;
                if (passed >= limit) {
                    TRACE(TRC_ERROR, "lanportm: the printer still talks after %d ms; closing\n",
                          static_cast<int>(passed));
                    break;
                }
                fd_set readable;
                FD_ZERO(&readable);
                FD_SET(s, &readable);
                DWORD waitMs = std::min(window, limit - passed);
                timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000 * 1000)};
                int rc = select(0, &readable, nullptr, nullptr, &wait);
                // A quiet slice cut short by the limit is the limit's end, not the printer's silence.
                if (rc == 0 && waitMs < window) continue;
                if (rc <= 0) {
                    TRACE(TRC_FLOW, "lanportm: select(readfds) timeout or error, sockRc=%d\n", rc);
                    break;
                }
                if (!FD_ISSET(s, &readable)) {
                    TRACE(TRC_ERROR, "lanportm: socket returns NON-Readable. sockRc=%d; lastError=%d\n", rc,
                          WSAGetLastError());
                    break;
                }
                TRACE(TRC_FLOW, "lanportm: socket is READABLE.\n");
                char bytes[kDrainReadSize];
                int received = recv(s, bytes, kDrainReadSize, 0);
                if (received == SOCKET_ERROR) {
                    TRACE(TRC_FLOW,
                          "lanportm: recv() returns unexpected SOCKET_ERROR; lastError=%d Continue to closesocket.\n",
                          WSAGetLastError());
                    break;
                }
                if (received == 0) {
                    TRACE(TRC_FLOW,
                          "lanportm: recv() 0 bytes; CONNECTION CONFIRMED CLOSED BY PRINTER. lastError=%d\n",
                          WSAGetLastError());
                    break;
                }
                TRACE(TRC_FLOW, "lanportm: recv() %d bytes UNEXPECTEDLY; Here they are:\n", received);
                char text[kDrainReadSize] = {};
                memcpy(text, bytes, std::min(received, kDrainReadSize - 1));
                TRACE(TRC_FLOW, "lanportm:   %s:\n", text);
            }
        }
    }
    bool closed = closesocket(s) != SOCKET_ERROR;
    if (injectedSocketError(FaultPoint::CloseSocket)) closed = false;  // released all the same
    if (!closed) {
        TRACE(TRC_FLOW, "lanportm: netClose: error - closesocket returns %d\n", WSAGetLastError());
        result = FALSE;
    }
    *slot = kNoSocket;
    TRACE(TRC_FLOW, "lanportm: Exit  netClose(); bRet=%d\n", result);
    return result;
}
