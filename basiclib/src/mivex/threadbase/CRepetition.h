#pragma once

#include <atomic>

#include "../MivexExport.h"

namespace ThreadLib {

// CRepetition is a loop with an exit flag: RunProc() calls Init(), then
// Run() - one RunOnce() pass after another while IsExit() is false - then
// ExitRun() and Exit(), and returns what Exit() returned. A negative Init()
// skips Run() and ExitRun(). Run() returns the result of the last pass, 0
// when no pass ran.
//
// Contract:
//   - The flag is tested before every pass, never during one: a pass that
//     blocks must be woken by whoever sets the flag.
//   - The flag is atomic: SetExit() from one thread is seen by the looping
//     thread before its next pass.
//   - Concrete classes supply RunOnce() and may replace the other steps.
//   - Copying copies the flag.
class MIVEX_API CRepetition {
public:
    CRepetition();
    CRepetition(const CRepetition& other);
    CRepetition& operator=(const CRepetition& other);
    virtual ~CRepetition();

    virtual int Init();
    virtual unsigned int Run();
    virtual unsigned int RunOnce() = 0;
    virtual unsigned int ExitRun();
    virtual unsigned int Exit();
    virtual unsigned int RunProc();

    void SetExit(bool exit);
    bool IsExit();

private:
    std::atomic<bool> m_exit;
};

}  // namespace ThreadLib
