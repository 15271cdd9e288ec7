// A port monitor whose XCV answers the tests script, for the UI library's dialogs: it
// records every XCV request and answers each command from a queue the test fills. It
// names lanportui.dll as its UI, so the spooler and the UI library reach it as they reach
// lanport.dll.
#pragma once

#include <windows.h>

extern "C" {

// Forgets every recorded request and queued answer.
void WINAPI ScriptedReset();

// Queues one answer for `command`: the status XcvDataPort returns and the bytes written
// to the start of the output buffer. Commands without a queued answer get status 0 and
// an output left as the caller gave it.
void WINAPI ScriptedAnswer(LPCWSTR command, DWORD status, const void* reply, DWORD cbReply);

// The requests received so far, in order: their count, then one's command and input.
DWORD WINAPI ScriptedRequestCount();
BOOL WINAPI ScriptedRequest(DWORD index, LPWSTR command, DWORD commandChars, BYTE* input, DWORD* cbInput);

// XCV handles open now.
LONG WINAPI ScriptedOpenHandles();

// From now on EnumPorts lists `port` as a port of `monitor` (the name the monitor was
// registered by); ScriptedReset forgets it.
void WINAPI ScriptedDefinePort(LPCWSTR port, LPCWSTR monitor);
}
