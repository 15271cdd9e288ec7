// The garbage list of removed ports and jobs, and its collector thread.
#include "garbage.h"

#include "monitor.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

GarbageNode* garbageList = nullptr;

namespace {

constexpr DWORD kCollectorPassMs = 120000;

}  // namespace

BOOL AddToGarbage(DWORD kind, void* object)
{
    auto* node = static_cast<GarbageNode*>(AllocSplMem(sizeof(GarbageNode)));
    if (!node) {
        TRACE(TRC_ERROR, "lanportm: AddToGarbage: Allocation failure\n");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    node->kind = kind;
    node->object = object;
    node->queuedAt = time(nullptr);
    EnterCriticalSection(&garbageCritSec);
    node->next = garbageList;
    garbageList = node;
    LeaveCriticalSection(&garbageCritSec);
    return TRUE;
}

unsigned __stdcall GarbageCollection(void*)
{
    TRACE(TRC_FLOW, "lanportm: Entry GarbageCollection\n");
    for (;;) Sleep(SpecifiedWait(kCollectorPassMs));
}
