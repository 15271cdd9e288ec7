// What "GetPortStatus" answers for a port whose last job the printer ended.
#pragma once

#include <gtest/gtest.h>

#include "records.h"
#include "utctime.h"

namespace testing_support {

// The job `jobId` is over: the printer answered the probe, reported `pages` pages and
// the end between `started` and `ended` (UtcNow ticks), and no connection failed.
inline void ExpectEndedJob(const GetPortStatusReply& status, DWORD jobId, LONG pages, ULONGLONG started,
                           ULONGLONG ended)
{
    EXPECT_EQ(status.jobInProgress, 0u);
    EXPECT_EQ(status.jobId, jobId) << "the last job";
    EXPECT_EQ(status.pjlAnswered, 1u);
    EXPECT_EQ(status.lastPage, pages);
    EXPECT_EQ(status.lastReport, kPortReportEnd);
    EXPECT_GE(TicksOf(status.lastReportTime), started);
    EXPECT_LE(TicksOf(status.lastReportTime), ended);
    EXPECT_EQ(status.lastConnectionError, 0u);
}

}  // namespace testing_support
