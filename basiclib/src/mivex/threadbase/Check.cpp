#include "Check.h"

#include <cstdio>

namespace ThreadLib::Internal {

void ReportCheckFailure(const char* text, const char* file, int line) {
    // One fprintf call so that reports from several threads do not interleave.
    std::fprintf(stderr, "mivex: check failed: %s (%s:%d)\n", text, file, line);
}

}  // namespace ThreadLib::Internal
