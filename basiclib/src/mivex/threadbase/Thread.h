#pragma once

#include "../MivexExport.h"
#include "CThread_Posix.h"

namespace ThreadLib {

// Thread is the portable thread object: its platform layer (CThread_Posix
// here) without self-deletion, whose contract it keeps. Derive from it,
// supply RunOnce(), and call DestroyThread() in the subclass's destructor.
class MIVEX_API Thread : public CThread_Posix {
public:
    Thread();
    virtual ~Thread();
};

}  // namespace ThreadLib
