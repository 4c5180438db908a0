#pragma once

// Internal to the library (not exported).
//
// MIVEX_CHECK(cond, text) reports misuse of a thread class in a checking
// (non-NDEBUG) build. Unlike assert() it does not abort: the report is one
// line on stderr and the call then goes on, so a misused object behaves the
// same in both builds and only the diagnostic differs. In an NDEBUG build the
// condition is not even evaluated.
namespace ThreadLib::Internal {

void ReportCheckFailure(const char* text, const char* file, int line);

}  // namespace ThreadLib::Internal

#if defined(NDEBUG)
#define MIVEX_CHECK(cond, text) ((void)0)
#else
#define MIVEX_CHECK(cond, text)                                                \
    ((cond) ? (void)0                                                          \
            : ::ThreadLib::Internal::ReportCheckFailure(text, __FILE__, __LINE__))
#endif
