#include "ResourceCount.h"

namespace ThreadLib {

namespace {

bool WaitOn(Semphore& sem, int milliseconds) {
    if (milliseconds < 0) return sem.WaitSem();
    return sem.TimeWaitSem(milliseconds) == 1;
}

}  // namespace

ResourceCount::ResourceCount() : ResourceCount(0, 0) {}

// m_takeSem is declared after m_putSem; both start from the arguments.
ResourceCount::ResourceCount(int count, int size)
    : m_size(size), m_count(count), m_putSem(size), m_takeSem(count) {}

ResourceCount::~ResourceCount() = default;

bool ResourceCount::WaitPutResource(int milliseconds) {
    return WaitOn(m_putSem, milliseconds);
}

void ResourceCount::PutResource() {
    m_count.fetch_add(1);
    m_takeSem.PostSem();
}

bool ResourceCount::WaitTakeResource(int milliseconds) {
    return WaitOn(m_takeSem, milliseconds);
}

void ResourceCount::TakenResource() {
    m_count.fetch_sub(1);
    m_putSem.PostSem();
}

void ResourceCount::IncreaseSize(unsigned int n) {
    for (unsigned int i = 0; i < n; ++i) {
        m_size.fetch_add(1);
        m_putSem.PostSem();
    }
}

void ResourceCount::DecreaseSize(unsigned int n) {
    for (unsigned int i = 0; i < n; ++i) {
        m_size.fetch_sub(1);
        m_takeSem.WaitSem();
    }
}

}  // namespace ThreadLib
