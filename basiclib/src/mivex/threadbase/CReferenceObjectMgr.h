#pragma once

#include <map>

#include "../MivexExport.h"
#include "CReferenceIdObject.h"
#include "Semphore.h"

namespace ThreadLib {

class ReadWriteMutex;

// CReferenceObjectMgr files CReferenceIdObjects under integer ids and holds
// one reference on every object it files.
//
//   int id = 0;
//   if (mgr.AddObject(obj)) id = obj->GetID();
//   if (CReferenceIdObject* o = mgr.GetReferenceObj(id)) { ...; mgr.ReleaseRefObj(o); }
//   if (mgr.BeginGet()) {
//       while (CReferenceIdObject* o = mgr.GetNext()) { ... }
//       mgr.EndGet();
//   }
//
// Contract:
//   - AddObject(obj) files obj under the next free id (1, 2, 3, ...; after
//     2147483647 the ids go on at 0, never negative, skipping ids in use)
//     and sets obj's id; false only for null. AddObjectToMap(id, obj) files
//     under a chosen id and leaves obj's id as it is; false for null or an
//     id in use (obj's count is then as before).
//   - GetReferenceObj(id) returns the object with one reference added for
//     the caller, who gives it back with ReleaseRefObj(); null if none.
//   - RemoveObject/RemoveAllObject/the destructor give back the registry's
//     references. References are given back, and objects may delete
//     themselves, only after the registry's lock is released.
//   - A walk (BeginGet true ... EndGet) visits the objects in ascending id
//     order and holds the read lock throughout; GetNext() adds no
//     reference. After BeginGet() returned false, EndGet() is not called.
//     Walks from several threads are serialised: a second BeginGet() waits
//     until the open walk has ended (EndGet may come from any thread).
//   - During its own walk a thread calls no other member of the same
//     registry except GetNext, ReleaseRefObj and EndGet (the read lock is
//     not recursive), and opens no second walk.
//   - Every other member may be called from any thread at any time.
//   - Not copied or assigned: a copy would share the lock and hold the
//     objects without references of its own.
class MIVEX_API CReferenceObjectMgr {
public:
    CReferenceObjectMgr();
    virtual ~CReferenceObjectMgr();

    CReferenceObjectMgr(const CReferenceObjectMgr&) = delete;
    CReferenceObjectMgr& operator=(const CReferenceObjectMgr&) = delete;

    bool AddObject(CReferenceIdObject* obj);
    bool AddObjectToMap(int id, CReferenceIdObject* obj);
    CReferenceIdObject* GetReferenceObj(int id);
    bool ReleaseRefObj(CReferenceIdObject* obj);
    bool RemoveObject(int id);
    void RemoveAllObject();

    bool BeginGet();
    CReferenceIdObject* GetNext();
    void EndGet();

private:
    using ObjectMap = std::map<int, CReferenceIdObject*>;

    ReadWriteMutex* m_lock;
    ObjectMap::iterator m_cursor;
    ObjectMap m_objects;
    int m_lastId;
    // One count: the right to walk. Taken by BeginGet, given back by EndGet.
    Semphore m_walkGate{1};
};

}  // namespace ThreadLib
