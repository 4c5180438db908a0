#include "CRepetition.h"

namespace ThreadLib {

CRepetition::CRepetition() : m_exit(false) {}

CRepetition::CRepetition(const CRepetition& other) : m_exit(other.m_exit.load()) {}

CRepetition& CRepetition::operator=(const CRepetition& other) {
    m_exit.store(other.m_exit.load());
    return *this;
}

CRepetition::~CRepetition() = default;

int CRepetition::Init() {
    return 1;
}

unsigned int CRepetition::Run() {
    unsigned int result = 0;
    while (!IsExit()) {
        result = RunOnce();
    }
    return result;
}

unsigned int CRepetition::ExitRun() {
    return 1;
}

unsigned int CRepetition::Exit() {
    return 1;
}

unsigned int CRepetition::RunProc() {
    if (Init() >= 0) {
        Run();
        ExitRun();
    }
    return Exit();
}

void CRepetition::SetExit(bool exit) {
    m_exit.store(exit);
}

bool CRepetition::IsExit() {
    return m_exit.load();
}

}  // namespace ThreadLib
