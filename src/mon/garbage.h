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

// Keeps the first (newest) node of each record and frees the later ones.
void EliminateDuplicates(GarbageNode* list);

// TRUE when the spooler of `serverName` (NULL: this machine) has a port named `portName`
// (any monitor, case ignored); failures answer FALSE with the error in *error.
BOOL PortExists(LPCWSTR serverName, LPCWSTR portName, DWORD* error);
