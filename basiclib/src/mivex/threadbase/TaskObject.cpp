#include "TaskObject.h"

#include "TaskObjectPriv.h"

namespace ThreadLib {

TaskObject::TaskObject() : m_priv(new TaskObjectPriv) {}

TaskObject::~TaskObject() {
    delete m_priv;
}

bool TaskObject::OnBeginTask() {
    return true;
}

void TaskObject::OnTaskFinish() {}

int TaskObject::WaitTaskFinish(int milliseconds) {
    if (milliseconds == -1) return m_priv->m_finishSem.WaitSem() ? 1 : -1;
    return m_priv->m_finishSem.TimeWaitSem(milliseconds) == 1 ? 1 : 0;
}

void TaskObject::PostTaskFinish() {
    m_priv->m_finishSem.PostSem();
}

}  // namespace ThreadLib
