#pragma once

#include <atomic>

#include "../MivexExport.h"
#include "CReferenceObject.h"

namespace ThreadLib {

class CReferenceObjectMgr;

// CReferenceIdObject is a CReferenceObject with an id under which a
// CReferenceObjectMgr files it. The id is 0 until a registry (or a derived
// class, through SetID) sets it. A copy has the source's id and, as every
// copy of a CReferenceObject, one reference of its own.
class MIVEX_API CReferenceIdObject : public CReferenceObject {
public:
    CReferenceIdObject();
    CReferenceIdObject(const CReferenceIdObject& other);
    CReferenceIdObject& operator=(const CReferenceIdObject&) = delete;
    virtual ~CReferenceIdObject();

    int GetID();

protected:
    void SetID(int id);

private:
    friend class CReferenceObjectMgr;

    // Atomic: a registry may re-file an object that others are reading.
    std::atomic<int> m_id;
};

}  // namespace ThreadLib
