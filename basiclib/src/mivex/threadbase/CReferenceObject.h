#pragma once

#include <atomic>

#include "../MivexExport.h"
#include "ThreadMutex.h"

namespace ThreadLib {

// CReferenceObject is the base of objects that several threads share and
// that delete themselves when the last holder lets go. Create them with new;
// the creator holds the first reference.
//
// Contract:
//   - AddReference() adds one reference; false when the count had already
//     reached zero (an object being deleted is not revived).
//   - ReleaseReference() gives one back; the release that brings the count
//     to zero deletes the object through its virtual destructor, on the
//     releasing thread, with no lock of the library held. A release below
//     zero lowers the count further and deletes nothing (a caller's error).
//   - GetReferenceCount() is an unlocked snapshot.
//   - Copying makes a new object with a lock of its own and one reference
//     (the copier's): copying the source's count would leave the copy with
//     references that nobody holds. Assignment is not offered.
//   - Any thread may add and release references.
class MIVEX_API CReferenceObject {
public:
    CReferenceObject();
    CReferenceObject(const CReferenceObject& other);
    CReferenceObject& operator=(const CReferenceObject&) = delete;
    virtual ~CReferenceObject();

    bool AddReference();
    void ReleaseReference();
    int GetReferenceCount();

private:
    ThreadMutex m_mutex;
    // Changed under m_mutex, read without it by GetReferenceCount().
    std::atomic<int> m_refCount;
};

}  // namespace ThreadLib
