// Structured exception guards. mingw's GCC has no __try/__except, so the guard is built
// on the platform's own frame-based mechanism (sehguard.c): an exception raised in the
// body is offered to a filter, which passes it on or ends the body.
#pragma once

#include <windows.h>

#include <type_traits>

#include "support.h"

extern "C" {

struct SehFrame {
    void (*body)(void* context);
    void* bodyContext;
    LONG (*filter)(EXCEPTION_POINTERS* pointers, void* context);
    void* filterContext;
    DWORD code;  // the exception code when the filter chose to handle it
};

// Runs frame->body(frame->bodyContext) under a frame-based exception handler. Returns
// FALSE when the body returned, TRUE when the filter answered EXCEPTION_EXECUTE_HANDLER
// (the body's frames are unwound and frame->code holds the exception code).
BOOL SehCall(SehFrame* frame);
}

namespace seh_detail {

template <class Body>
void runBody(void* context)
{
    (*static_cast<Body*>(context))();
}

}  // namespace seh_detail

// The entry points' guard: an exception in `body` writes the exception report for `name`
// to the trace and travels on to the caller's handlers, unhandled here.
template <class Body>
void ExceptionGuard(const char* name, Body&& body)
{
    SehFrame frame{};
    frame.body = &seh_detail::runBody<std::remove_reference_t<Body>>;
    frame.bodyContext = &body;
    frame.filter = [](EXCEPTION_POINTERS* pointers, void* context) -> LONG {
        return ReportException(static_cast<const char*>(context), FALSE, pointers,
                               pointers->ExceptionRecord->ExceptionCode);
    };
    frame.filterContext = const_cast<char*>(name);
    SehCall(&frame);
}

// Runs `body` and handles every exception raised in it (the __try/__except of this code
// base). Returns true with the code in *code when an exception ended the body.
template <class Body>
bool SehTry(Body&& body, DWORD* code)
{
    SehFrame frame{};
    frame.body = &seh_detail::runBody<std::remove_reference_t<Body>>;
    frame.bodyContext = &body;
    frame.filter = [](EXCEPTION_POINTERS*, void*) -> LONG { return EXCEPTION_EXECUTE_HANDLER; };
    bool raised = SehCall(&frame) != FALSE;
    if (code) *code = raised ? frame.code : 0;
    return raised;
}
