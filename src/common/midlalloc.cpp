// Allocation callbacks of the RPC run-time: the monitor's own traced allocator.
#include <rpc.h>
#include <rpcndr.h>

#include "support.h"

extern "C" void* __RPC_USER midl_user_allocate(size_t size)
{
    if (size != static_cast<DWORD>(size)) return nullptr;
    return AllocSplMem(static_cast<DWORD>(size));
}

extern "C" void __RPC_USER midl_user_free(void* block)
{
    FreeSplMem(block);
}
