// Compiled by the trace_format tests only, never linked: a trace statement whose format
// lacks the library's prefix must not compile.
#include "trace.h"

void traceOneLine()
{
#ifdef TRACE_CASE_prefixed
    TRACE(TRC_FLOW, "lanportm: Going on JOB %s\n", "end");
#else
    TRACE(TRC_FLOW, "%s", "lanportm: Going on JOB end\n");
#endif
}
