#include "CReferenceObjectMgr.h"

#include "ReadWriteMutex.h"

namespace ThreadLib {

namespace {

constexpr int kMaxId = 2147483647;

}  // namespace

CReferenceObjectMgr::CReferenceObjectMgr() : m_lock(new ReadWriteMutex), m_cursor(m_objects.end()), m_lastId(0) {}

CReferenceObjectMgr::~CReferenceObjectMgr() {
    RemoveAllObject();
    delete m_lock;
}

bool CReferenceObjectMgr::AddObject(CReferenceIdObject* obj) {
    if (obj == nullptr) return false;
    obj->AddReference();
    m_lock->LockWrite();
    do {
        m_lastId = m_lastId == kMaxId ? 0 : m_lastId + 1;
    } while (m_objects.count(m_lastId) != 0);
    obj->SetID(m_lastId);
    m_objects.emplace(m_lastId, obj);
    m_lock->Unlock();
    return true;
}

bool CReferenceObjectMgr::AddObjectToMap(int id, CReferenceIdObject* obj) {
    if (obj == nullptr) return false;
    obj->AddReference();
    m_lock->LockWrite();
    const bool filed = m_objects.emplace(id, obj).second;
    m_lock->Unlock();
    if (!filed) obj->ReleaseReference();
    return filed;
}

CReferenceIdObject* CReferenceObjectMgr::GetReferenceObj(int id) {
    CReferenceIdObject* obj = nullptr;
    m_lock->LockRead();
    auto it = m_objects.find(id);
    if (it != m_objects.end()) {
        obj = it->second;
        obj->AddReference();
    }
    m_lock->Unlock();
    return obj;
}

bool CReferenceObjectMgr::ReleaseRefObj(CReferenceIdObject* obj) {
    if (obj == nullptr) return false;
    obj->ReleaseReference();
    return true;
}

bool CReferenceObjectMgr::RemoveObject(int id) {
    CReferenceIdObject* obj = nullptr;
    m_lock->LockWrite();
    auto it = m_objects.find(id);
    if (it != m_objects.end()) {
        obj = it->second;
        m_objects.erase(it);
    }
    m_lock->Unlock();
    if (obj == nullptr) return false;
    obj->ReleaseReference();
    return true;
}

void CReferenceObjectMgr::RemoveAllObject() {
    m_lock->LockWrite();
    while (!m_objects.empty()) {
        auto first = m_objects.begin();
        CReferenceIdObject* obj = first->second;
        m_objects.erase(first);
        m_lock->Unlock();
        obj->ReleaseReference();
        m_lock->LockWrite();
    }
    m_lock->Unlock();
}

bool CReferenceObjectMgr::BeginGet() {
    m_walkGate.WaitSem();
    m_lock->LockRead();
    m_cursor = m_objects.begin();
    if (m_cursor == m_objects.end()) {
        m_lock->Unlock();
        m_walkGate.PostSem();
        return false;
    }
    return true;
}

CReferenceIdObject* CReferenceObjectMgr::GetNext() {
    if (m_cursor == m_objects.end()) return nullptr;
    CReferenceIdObject* obj = m_cursor->second;
    ++m_cursor;
    return obj;
}

void CReferenceObjectMgr::EndGet() {
    m_lock->Unlock();
    m_walkGate.PostSem();
}

}  // namespace ThreadLib
