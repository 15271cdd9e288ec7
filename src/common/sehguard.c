/* Frame-based structured exception handling for GCC, which has no __try/__except.
 *
 * x64: SehCall is written in assembly so that its unwind information (and with it the
 * language handler SehCallHandler) is exactly what we declare; the handler finds the
 * SehFrame in SehCall's home slot. To handle an exception it unwinds to SehCallLanding,
 * which returns TRUE.
 * x86: SehCall links an exception registration record into the thread's chain (fs:0);
 * the record carries the SehFrame. To handle an exception the handler unwinds the frames
 * above the record and jumps back into SehCall. */
#include <windows.h>

struct SehFrame {
    void (*body)(void* context);
    void* bodyContext;
    LONG (*filter)(EXCEPTION_POINTERS* pointers, void* context);
    void* filterContext;
    DWORD code;
};

BOOL SehCall(struct SehFrame* frame);

static int unwinding(const EXCEPTION_RECORD* record)
{
    return (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0;
}

#ifdef _WIN64

void SehCallLanding(void);
EXCEPTION_DISPOSITION SehCallHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                     CONTEXT* context, DISPATCHER_CONTEXT* dispatcher);

EXCEPTION_DISPOSITION SehCallHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                     CONTEXT* context, DISPATCHER_CONTEXT* dispatcher)
{
    if (unwinding(record)) return ExceptionContinueSearch;
    /* The establisher frame is SehCall's frame pointer; rcx's home slot is 16 above it. */
    struct SehFrame* frame = *(struct SehFrame**)((char*)establisherFrame + 16);
    EXCEPTION_POINTERS pointers = { record, context };
    LONG answer = frame->filter(&pointers, frame->filterContext);
    if (answer == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
    if (answer != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
    frame->code = record->ExceptionCode;
    RtlUnwindEx(establisherFrame, (void*)SehCallLanding, record, (void*)1, context,
                dispatcher->HistoryTable);
    return ExceptionContinueSearch; /* not reached */
}

__asm__(
    ".text\n"
    ".globl SehCall\n"
    ".def SehCall; .scl 2; .type 32; .endef\n"
    ".seh_proc SehCall\n"
    "SehCall:\n"
    "    pushq %rbp\n"
    "    .seh_pushreg %rbp\n"
    "    movq %rsp, %rbp\n"
    "    .seh_setframe %rbp, 0\n"
    "    subq $32, %rsp\n"
    "    .seh_stackalloc 32\n"
    "    .seh_endprologue\n"
    "    .seh_handler SehCallHandler, @except, @unwind\n"
    "    movq %rcx, 16(%rbp)\n"
    "    movq (%rcx), %rax\n"
    "    movq 8(%rcx), %rcx\n"
    "    callq *%rax\n"
    "    nop\n"
    "    xorl %eax, %eax\n"
    ".globl SehCallLanding\n"
    "SehCallLanding:\n"
    "    addq $32, %rsp\n"
    "    popq %rbp\n"
    "    retq\n"
    ".seh_endproc\n");

#else

struct SehRegistration {
    struct SehRegistration* prev; /* the chain's layout: next record, then handler */
    void* handler;
    struct SehFrame* frame;
    void* jumpBuffer[5];
};

static EXCEPTION_DISPOSITION __cdecl SehCallHandler(EXCEPTION_RECORD* record,
                                                    void* establisherFrame, CONTEXT* context,
                                                    void* dispatcher)
{
    (void)dispatcher;
    struct SehRegistration* registration = (struct SehRegistration*)establisherFrame;
    if (unwinding(record)) return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = { record, context };
    LONG answer = registration->frame->filter(&pointers, registration->frame->filterContext);
    if (answer == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
    if (answer != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
    registration->frame->code = record->ExceptionCode;
    RtlUnwind(registration, 0, record, 0);
    __builtin_longjmp(registration->jumpBuffer, 1);
}

BOOL SehCall(struct SehFrame* frame)
{
    struct SehRegistration registration;
    registration.handler = (void*)SehCallHandler;
    registration.frame = frame;
    registration.prev = (struct SehRegistration*)__readfsdword(0);
    if (__builtin_setjmp(registration.jumpBuffer)) {
        __writefsdword(0, (DWORD)(ULONG_PTR)registration.prev);
        return TRUE;
    }
    __writefsdword(0, (DWORD)(ULONG_PTR)&registration);
    __asm__ __volatile__("" ::: "memory");
    frame->body(frame->bodyContext);
    __writefsdword(0, (DWORD)(ULONG_PTR)registration.prev);
    return FALSE;
}

#endif
