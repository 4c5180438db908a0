#pragma once

// Tasks shared by the pool tests.
#include <mivex/mivex.h>

#include <atomic>
#include <functional>
#include <thread>

namespace MivexTest {

// Records its hooks and the thread it ran on; `body` runs inside OnRunTask.
class RecordingTask : public ThreadLib::TaskObject {
public:
    explicit RecordingTask(bool begin = true, std::function<void()> body = {})
        : m_begin(begin), m_body(std::move(body)) {}

    void OnRunTask() override {
        m_ran.store(std::this_thread::get_id());
        runs.fetch_add(1);
        if (m_body) m_body();
    }
    std::thread::id RanOn() { return m_ran.load(); }

    std::atomic<int> begins{0};
    std::atomic<int> runs{0};
    std::atomic<int> finishes{0};

protected:
    bool OnBeginTask() override {
        begins.fetch_add(1);
        return m_begin;
    }
    void OnTaskFinish() override { finishes.fetch_add(1); }

private:
    const bool m_begin;
    std::function<void()> m_body;
    std::atomic<std::thread::id> m_ran{};
};

// Posts `started` when it runs, then holds its worker until `release` is
// posted once for it.
class BlockingTask : public RecordingTask {
public:
    BlockingTask(ThreadLib::Semphore& started, ThreadLib::Semphore& release)
        : RecordingTask(true, [&started, &release] {
              started.PostSem();
              release.WaitSem();
          }) {}
};

}  // namespace MivexTest
