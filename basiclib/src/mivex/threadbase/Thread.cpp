#include "Thread.h"

namespace ThreadLib {

Thread::Thread() : CThread_Posix(false) {}

Thread::~Thread() = default;

}  // namespace ThreadLib
