#include "ThreadPool.h"

#include "ThreadPoolPriv.h"

namespace ThreadLib {

ThreadPool::ThreadPool() : m_priv(new ThreadPoolPriv) {}

ThreadPool::~ThreadPool() {
    delete m_priv;
}

bool ThreadPool::RunTask(TaskObject* task) {
    return m_priv->RunTask(task);
}

void ThreadPool::SetMaxThreadCount(int count) {
    m_priv->SetMaxThreadCount(count);
}

}  // namespace ThreadLib
