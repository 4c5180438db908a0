#include "CReferenceIdObject.h"

namespace ThreadLib {

CReferenceIdObject::CReferenceIdObject() : m_id(0) {}

CReferenceIdObject::CReferenceIdObject(const CReferenceIdObject& other)
    : CReferenceObject(other), m_id(other.m_id.load()) {}

CReferenceIdObject::~CReferenceIdObject() = default;

int CReferenceIdObject::GetID() {
    return m_id.load();
}

void CReferenceIdObject::SetID(int id) {
    m_id.store(id);
}

}  // namespace ThreadLib
