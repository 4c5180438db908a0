#include "CReferenceObject.h"

namespace ThreadLib {

CReferenceObject::CReferenceObject() : m_refCount(1) {}

CReferenceObject::CReferenceObject(const CReferenceObject&) : CReferenceObject() {}

CReferenceObject::~CReferenceObject() = default;

bool CReferenceObject::AddReference() {
    if (!m_mutex.Lock()) return false;
    bool added = false;
    if (m_refCount.load() != 0) {
        m_refCount.fetch_add(1);
        added = true;
    }
    m_mutex.Unlock();
    return added;
}

void CReferenceObject::ReleaseReference() {
    if (!m_mutex.Lock()) return;
    const int left = m_refCount.fetch_sub(1) - 1;
    m_mutex.Unlock();
    // After the unlock: the object (and its mutex) may go now.
    if (left == 0) delete this;
}

int CReferenceObject::GetReferenceCount() {
    return m_refCount.load();
}

}  // namespace ThreadLib
