#pragma once

// Internal to the library (not exported): the state of a TaskObject.
#include "Semphore.h"

namespace ThreadLib {

class TaskObjectPriv {
public:
    // One count for every finished run of the task.
    Semphore m_finishSem{0};
};

}  // namespace ThreadLib
