// The network layer: Windows Sockets connections to the printer.
#include <winsock2.h>

#include "monitor.h"
#include "trace.h"

BOOL netInitialize()
{
    TRACE(TRC_FLOW, "lanportm: Entry netInitialize()\n");
    WSADATA data;
    int error = WSAStartup(MAKEWORD(1, 1), &data);
    if (error) TRACE(TRC_ERROR, "lanportm: WSAStartup failed.  Error=%d\n", error);
    TRACE(TRC_FLOW, "lanportm: Exit  netInitialize()\n");
    return error == 0;
}
