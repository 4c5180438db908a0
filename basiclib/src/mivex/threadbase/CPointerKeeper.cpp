#include "CPointerKeeper.h"

#include <map>

#include "ThreadMutex.h"

namespace ThreadLib {

// Internal to the library (not exported).
class CPointerKeeperPriv {
public:
    ThreadMutex m_mutex;
    // A pointer is here exactly while its count is above zero.
    std::map<void*, int> m_counts;
};

CPointerKeeper::CPointerKeeper() : m_priv(new CPointerKeeperPriv) {}

CPointerKeeper::~CPointerKeeper() {
    delete m_priv;
}

CPointerKeeper& CPointerKeeper::Instance() {
    static CPointerKeeper keeper;
    return keeper;
}

void* CPointerKeeper::AddReference(void* p) {
    if (p == nullptr) return nullptr;
    m_priv->m_mutex.Lock();
    ++m_priv->m_counts[p];
    m_priv->m_mutex.Unlock();
    return p;
}

void* CPointerKeeper::DelReference(void* p) {
    if (p == nullptr) return nullptr;
    void* last = nullptr;
    m_priv->m_mutex.Lock();
    auto it = m_priv->m_counts.find(p);
    if (it != m_priv->m_counts.end() && --it->second == 0) {
        m_priv->m_counts.erase(it);
        last = p;
    }
    m_priv->m_mutex.Unlock();
    return last;
}

}  // namespace ThreadLib
