#pragma once

#include "../MivexExport.h"

namespace ThreadLib {

class CPointerKeeperPriv;

// CPointerKeeper counts references to arbitrary pointers. It never frees
// anything: the DelReference() call that removes the last reference returns
// the pointer, telling its caller that nobody else holds it.
//
// Contract:
//   - AddReference(p) counts one more reference and returns p; null for a
//     null p (nothing counted).
//   - DelReference(p) counts one less and returns p when that was the last
//     reference, null otherwise (also for null and for pointers that are
//     not counted). Exactly one caller sees p come back.
//   - Instance() is the process-wide keeper, created once on first use (also
//     when several threads ask at once) and destroyed when the library is
//     unloaded. Keepers constructed directly count on their own; destroying
//     one forgets its pointers without freeing them.
//   - Any thread may call AddReference and DelReference.
//   - Not copied or assigned: a copy would share the private part and
//     delete it twice.
class MIVEX_API CPointerKeeper {
public:
    CPointerKeeper();
    ~CPointerKeeper();

    CPointerKeeper(const CPointerKeeper&) = delete;
    CPointerKeeper& operator=(const CPointerKeeper&) = delete;

    static CPointerKeeper& Instance();

    void* AddReference(void* p);
    void* DelReference(void* p);

private:
    CPointerKeeperPriv* m_priv;
};

}  // namespace ThreadLib
