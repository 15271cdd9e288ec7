// The garbage list: removed ports and jobs wait here before they are freed.
#pragma once

#include <windows.h>

#include <ctime>

constexpr DWORD kGarbagePort = 1;
constexpr DWORD kGarbageJob = 2;

struct GarbageNode {
    GarbageNode* next;  // newest first
    DWORD kind;
    time_t queuedAt;
    void* object;
};

extern GarbageNode* garbageList;

BOOL AddToGarbage(DWORD kind, void* object);
