// The garbage list of removed ports and jobs, and its collector thread.
#include "garbage.h"

#include "monitor.h"
#include "pmuports.h"
#include "seams.h"
#include "sehguard.h"
#include "support.h"
#include "trace.h"

GarbageNode* garbageList = nullptr;

namespace {

constexpr DWORD kCollectorPassMs = 120000;

QelPort* portOf(const GarbageNode* node)
{
    return node->kind == kGarbagePort ? static_cast<QelPort*>(node->object)
                                      : static_cast<QelJob*>(node->object)->port;
}

bool hasJobOf(const GarbageNode* list, const QelPort* port)
{
    for (; list; list = list->next)
        if (list->kind == kGarbageJob && static_cast<QelJob*>(list->object)->port == port) return true;
    return false;
}

// A queued job reads its port for its delay and its trace line, so a port stays until
// no job node of it is left, neither in this pass nor queued meanwhile.
bool portStillNeeded(const QelPort* port, const GarbageNode* working)
{
    if (hasJobOf(working, port)) return true;
    EnterCriticalSection(&garbageCritSec);
    bool queued = hasJobOf(garbageList, port);
    LeaveCriticalSection(&garbageCritSec);
    return queued;
}

// Frees the due records of one kind and unlinks their nodes from `working`.
void collectKind(GarbageNode** working, DWORD kind, time_t now)
{
    for (GarbageNode** link = working; *link;) {
        GarbageNode* node = *link;
        QelPort* port = portOf(node);
        bool due = node->kind == kind && difftime(now, node->queuedAt) >= static_cast<double>(port->collectDelay);
        // The delay is the least wait: a record something still reaches waits for the
        // next pass.
        if (due && kind == kGarbageJob && JobInUse(static_cast<QelJob*>(node->object))) due = false;
        if (due && kind == kGarbagePort && (PortInUse(port) || portStillNeeded(port, *working))) due = false;
        if (!due) {
            link = &node->next;
            continue;
        }
        if (kind == kGarbagePort) {
            TRACE(TRC_DETAIL, "lanportm: GarbageCollection: Collecting port %ls\n", port->portName);
            FreePortEntry(port);
        } else {
            auto* job = static_cast<QelJob*>(node->object);
            TRACE(TRC_DETAIL, "lanportm: GarbageCollection: Collecting job %d on port %ls\n",
                  static_cast<int>(job->jobId), port->portName);
            FreeJobEntry(job);
        }
        *link = node->next;
        FreeSplMem(node);
    }
}

void collectionPass()
{
    TRACE(TRC_DETAIL, "lanportm: GarbageCollection: Starting\n");
    EnterCriticalSection(&garbageCritSec);
    GarbageNode* working = garbageList;
    garbageList = nullptr;
    LeaveCriticalSection(&garbageCritSec);

    EliminateDuplicates(working);
    time_t now = CurrentTime();
    collectKind(&working, kGarbageJob, now);
    collectKind(&working, kGarbagePort, now);

    if (working) {
        TRACE(TRC_DETAIL, "lanportm: GarbageCollection: Some garbage not collected--putting back in list\n");
        EnterCriticalSection(&garbageCritSec);
        GarbageNode** tail = &garbageList;
        while (*tail) tail = &(*tail)->next;
        *tail = working;
        LeaveCriticalSection(&garbageCritSec);
    }
    TRACE(TRC_DETAIL, "lanportm: GarbageCollection: Done\n");
}

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
    node->queuedAt = CurrentTime();
    EnterCriticalSection(&garbageCritSec);
    node->next = garbageList;
    garbageList = node;
    LeaveCriticalSection(&garbageCritSec);
    return TRUE;
}

void EliminateDuplicates(GarbageNode* list)
{
    TRACE(TRC_FLOW, "lanportm: Entry EliminateDuplicates\n");
    for (GarbageNode* kept = list; kept; kept = kept->next) {
        for (GarbageNode** link = &kept->next; *link;) {
            GarbageNode* node = *link;
            if (node->object != kept->object) {
                link = &node->next;
                continue;
            }
            if (node->kind == kGarbagePort)
                TRACE(TRC_DETAIL, "lanportm: EliminateDuplicates: Duplicate entry found: port %ls\n",
                      portOf(node)->portName);
            else
                TRACE(TRC_DETAIL, "lanportm: EliminateDuplicates: Duplicate entry found: job %d on port %ls\n",
                      static_cast<int>(static_cast<QelJob*>(node->object)->jobId), portOf(node)->portName);
            *link = node->next;
            FreeSplMem(node);
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  EliminateDuplicates\n");
}

unsigned __stdcall GarbageCollection(void*)
{
    TRACE(TRC_FLOW, "lanportm: Entry GarbageCollection\n");
    // After an exception has been reported the collector stops: the list may be damaged,
    // and leaving the remaining records unfreed is safer than walking it again.
    DWORD code = 0;
    SehTry(
        [] {
            ExceptionGuard("GarbageCollection", [] {
                for (;;) {
                    Sleep(SpecifiedWait(kCollectorPassMs));
                    collectionPass();
                }
            });
        },
        &code);
    return 0;
}
