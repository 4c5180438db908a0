#pragma once

#include <atomic>

#include "../MivexExport.h"
#include "Semphore.h"

namespace ThreadLib {

// ResourceCount lets producers and consumers of items kept in a store of the
// caller's wait for free places and for ready items:
//
//   producer: if (rc.WaitPutResource(-1)) { store item; rc.PutResource(); }
//   consumer: if (rc.WaitTakeResource(-1)) { take item; rc.TakenResource(); }
//
// Contract:
//   - ResourceCount(count, size): count items ready for consumers (the take
//     side), size places free for producers (the put side).
//   - WaitPutResource(ms)/WaitTakeResource(ms) wait for a place / an item:
//     without limit for any negative ms, otherwise at most ms milliseconds.
//     True when one was taken.
//   - IncreaseSize(n) adds n places. DecreaseSize(n) withdraws n ready items
//     from the take side and blocks until it has taken all n of them.
//   - The size and count members only record changes and are read by
//     nobody; they are atomic so that concurrent changes do not race.
//   - Any thread may call any member except the destructor. Not copied or
//     assigned (the semaphores are not).
class MIVEX_API ResourceCount {
public:
    ResourceCount();
    ResourceCount(int count, int size);
    ~ResourceCount();

    ResourceCount(const ResourceCount&) = delete;
    ResourceCount& operator=(const ResourceCount&) = delete;

    bool WaitPutResource(int milliseconds);
    void PutResource();
    bool WaitTakeResource(int milliseconds);
    void TakenResource();
    void IncreaseSize(unsigned int n);
    void DecreaseSize(unsigned int n);

private:
    std::atomic<int> m_size;
    std::atomic<int> m_count;
    Semphore m_putSem;
    Semphore m_takeSem;
};

}  // namespace ThreadLib
