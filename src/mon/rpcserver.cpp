// The RPC endpoint through which other programs create ports.
#include "monitor.h"

BOOL InitRPC()
{
    return TRUE;
}

BOOL StopRPCServer()
{
    return TRUE;
}
