// Creating a port in one call, for the RPC endpoint.
#include "newport.h"

#include "records.h"

LONG monSetNewPort(WCHAR*, const WCHAR*, unsigned char)
{
    return kErrRcGeneral;
}
