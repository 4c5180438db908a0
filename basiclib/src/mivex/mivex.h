#pragma once

// Mivex: the thread and synchronisation classes of namespace ThreadLib.
// Including this header gives every public class of the library.
#include "MivexExport.h"
#include "threadbase/CPointerKeeper.h"
#include "threadbase/CReferenceIdObject.h"
#include "threadbase/CReferenceObject.h"
#include "threadbase/CReferenceObjectMgr.h"
#include "threadbase/CRepetition.h"
#include "threadbase/CThread_Posix.h"
#include "threadbase/Event.h"
#include "threadbase/MutexObject.h"
#include "threadbase/ReadWriteMutex.h"
#include "threadbase/ResourceCount.h"
#include "threadbase/Semphore.h"
#include "threadbase/TaskObject.h"
#include "threadbase/Thread.h"
#include "threadbase/ThreadMutex.h"
#include "threadbase/ThreadMutex_Posix.h"
#include "threadbase/ThreadPool.h"
