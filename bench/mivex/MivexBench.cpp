// Mivex against its peers, measured in one process with alternating rounds
// (ours first in even rounds, the peer first in odd ones) so that both sides
// see the same machine load. Every line prints the median of each side and
// the median of the per-round ratios ours/peer, next to the goal.
#include <mivex/mivex.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 9;
constexpr int kPoolWorkers = 4;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One measurement returns nanoseconds per operation.
using Measure = std::function<double()>;

// Only lines whose name contains this text run (the program's argument).
std::string g_filter;

void Compare(const char* name, double goal, const Measure& ours, const Measure& peer) {
    if (std::string(name).find(g_filter) == std::string::npos) return;
    std::vector<double> a, b, ratio;
    ours();  // warm-up of both sides
    peer();
    for (int round = 0; round < kRounds; ++round) {
        double x, y;
        if (round % 2 == 0) {
            x = ours();
            y = peer();
        } else {
            y = peer();
            x = ours();
        }
        a.push_back(x);
        b.push_back(y);
        ratio.push_back(x / y);
    }
    const double r = Median(ratio);
    std::printf("%-44s ours %10.1f ns  peer %10.1f ns  ratio %5.2f", name, Median(a), Median(b), r);
    if (goal > 0) {
        std::printf("  (goal <= %.0f: %s)\n", goal, r <= goal ? "met" : "MISSED");
    } else {
        std::printf("  (reference, no goal)\n");
    }
    std::fflush(stdout);
}

double NsPer(Clock::time_point start, long ops) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(ops);
}

int ThreadsInProcess() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir)) n += e->d_name[0] != '.';
        closedir(dir);
    }
    return n;
}

// Runs body(thread index) on `threads` threads at once; returns ns per op.
double Parallel(int threads, long opsPerThread, const std::function<void(int)>& body) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            ready.fetch_add(1);
            while (!go.load()) std::this_thread::yield();
            body(t);
        });
    }
    while (ready.load() != threads) std::this_thread::yield();
    const auto start = Clock::now();
    go.store(true);
    for (auto& th : pool) th.join();
    return NsPer(start, opsPerThread * threads);
}

// ---- the machine's own cost of a hand-off

// A ring of `threads` threads passing one token through POSIX semaphores,
// each asleep until its turn: the time for the token to come back to the
// caller after an idle pause. A round trip through a pool passes two
// threads (caller, worker) when the caller hands the task out itself, as
// Boost.Asio and our pool do when it is idle, and three when a dispatcher
// thread must hand it on; this shows what that third hand-off costs on this
// machine by itself.
class SemRing {
public:
    explicit SemRing(int threads) : m_sems(threads) {
        for (sem_t& s : m_sems) sem_init(&s, 0, 0);
        for (int i = 1; i < threads; ++i) {
            m_threads.emplace_back([this, i] {
                for (;;) {
                    sem_wait(&m_sems[i]);
                    const bool stop = m_stop.load();
                    sem_post(&m_sems[(i + 1) % m_sems.size()]);
                    if (stop) return;
                }
            });
        }
    }
    ~SemRing() {
        m_stop.store(true);
        sem_post(&m_sems[1]);
        for (auto& t : m_threads) t.join();
        for (sem_t& s : m_sems) sem_destroy(&s);
    }
    void RoundTrip() {
        sem_post(&m_sems[1]);
        sem_wait(&m_sems[0]);
    }

private:
    std::vector<sem_t> m_sems;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
};

void IdlePause() {
    std::this_thread::sleep_for(std::chrono::microseconds(300));
}

// Average ns of `trips` round trips, each after an idle pause.
double IdleTrips(int trips, const std::function<void()>& trip) {
    double total = 0;
    for (int i = 0; i < trips; ++i) {
        IdlePause();
        const auto start = Clock::now();
        trip();
        total += NsPer(start, 1);
    }
    return total / trips;
}

void HandOffReference() {
    SemRing three(3);
    SemRing two(2);
    Compare("reference: sem_t ring of 3 vs 2 threads, idle", 0, [&] { return IdleTrips(200, [&] { three.RoundTrip(); }); },
            [&] { return IdleTrips(200, [&] { two.RoundTrip(); }); });
}

// ---- pool

class TinyTask : public ThreadLib::TaskObject {
public:
    void OnRunTask() override { sink.fetch_add(1, std::memory_order_relaxed); }
    static inline std::atomic<long> sink{0};
};

struct PeerTask {
    ThreadLib::Semphore finish;
};

// Runs the 100000 tiny tasks from `producers` threads on `pool`.
double RunTinyTasks(ThreadLib::ThreadPool& pool, std::vector<TinyTask>& tasks, int producers) {
    const int each = static_cast<int>(tasks.size()) / producers;
    return Parallel(producers, each, [&](int t) {
        for (int i = t * each; i < (t + 1) * each; ++i) pool.RunTask(&tasks[i]);
        for (int i = t * each; i < (t + 1) * each; ++i) tasks[i].WaitTaskFinish(-1);
    });
}

void PoolBenchmarks() {
    const int threadsBefore = ThreadsInProcess();
    ThreadLib::ThreadPool ours;
    ours.SetMaxThreadCount(kPoolWorkers);
    boost::asio::thread_pool peer(kPoolWorkers);

    {
        TinyTask task;
        PeerTask peerTask;
        // The pause before each trip lets every thread of the pool go to sleep.
        Compare("round trip, idle pool", 2,
                [&] {
                    return IdleTrips(200, [&] {
                        ours.RunTask(&task);
                        task.WaitTaskFinish(-1);
                    });
                },
                [&] {
                    return IdleTrips(200, [&] {
                        boost::asio::post(peer, [&] {
                            TinyTask::sink.fetch_add(1, std::memory_order_relaxed);
                            peerTask.finish.PostSem();
                        });
                        peerTask.finish.WaitSem();
                    });
                });
        SemRing ring(2);
        Compare("reference: idle round trip vs sem_t ring of 2", 0,
                [&] {
                    return IdleTrips(200, [&] {
                        ours.RunTask(&task);
                        task.WaitTaskFinish(-1);
                    });
                },
                [&] { return IdleTrips(200, [&] { ring.RoundTrip(); }); });
    }
    {
        constexpr int kTrips = 20000;
        TinyTask task;
        PeerTask peerTask;
        Compare("round trip, back to back", 2,
                [&] {
                    const auto start = Clock::now();
                    for (int i = 0; i < kTrips; ++i) {
                        ours.RunTask(&task);
                        task.WaitTaskFinish(-1);
                    }
                    return NsPer(start, kTrips);
                },
                [&] {
                    const auto start = Clock::now();
                    for (int i = 0; i < kTrips; ++i) {
                        boost::asio::post(peer, [&] {
                            TinyTask::sink.fetch_add(1, std::memory_order_relaxed);
                            peerTask.finish.PostSem();
                        });
                        peerTask.finish.WaitSem();
                    }
                    return NsPer(start, kTrips);
                });
    }
    constexpr int kTasks = 100000;
    std::vector<TinyTask> tasks(kTasks);
    std::vector<PeerTask> peerTasks(kTasks);
    for (int producers : {1, 4}) {
        const int each = kTasks / producers;
        const std::string name = "100000 tiny tasks, " + std::to_string(producers) + " producer(s)";
        Compare(name.c_str(), 3,
                [&] { return RunTinyTasks(ours, tasks, producers); },
                [&] {
                    return Parallel(producers, each, [&](int t) {
                        for (int i = t * each; i < (t + 1) * each; ++i) {
                            boost::asio::post(peer, [&, i] {
                                TinyTask::sink.fetch_add(1, std::memory_order_relaxed);
                                peerTasks[i].finish.PostSem();
                            });
                        }
                        for (int i = t * each; i < (t + 1) * each; ++i) peerTasks[i].finish.WaitSem();
                    });
                });
    }
    // The process's threads now: the peer's workers, our dispatcher and
    // our workers.
    std::printf("  workers our pool created (limit %d): %d\n", kPoolWorkers,
                ThreadsInProcess() - threadsBefore - kPoolWorkers - 1);
    peer.join();

    // The same load on a pool with its default limit (200), for information.
    {
        const int before = ThreadsInProcess();
        ThreadLib::ThreadPool unlimited;
        std::vector<double> times;
        for (int round = 0; round < 3; ++round) times.push_back(RunTinyTasks(unlimited, tasks, 4));
        std::printf("  default limit, 4 producers: ours %.1f ns per task (median of 3), workers created: %d\n",
                    Median(times), ThreadsInProcess() - before - 1);
    }
}

// ---- locks and semaphores

template <typename Op>
void CompareOps(const std::string& name, double goal, long ops, Op ours, Op peer) {
    for (int threads : {1, 2}) {
        const std::string label = name + (threads == 1 ? ", uncontended" : ", 2 threads");
        const long each = ops / threads;
        Compare(label.c_str(), goal,
                [&] { return Parallel(threads, each, [&](int) { for (long i = 0; i < each; ++i) ours(); }); },
                [&] { return Parallel(threads, each, [&](int) { for (long i = 0; i < each; ++i) peer(); }); });
    }
}

void LockBenchmarks() {
    constexpr long kOps = 2000000;
    {
        ThreadLib::ThreadMutex ours;
        std::recursive_mutex peer;
        std::function<void()> a = [&] { ours.Lock(); ours.Unlock(); };
        std::function<void()> b = [&] { peer.lock(); peer.unlock(); };
        CompareOps("ThreadMutex vs std::recursive_mutex", 2, kOps, a, b);
    }
    {
        ThreadLib::ReadWriteMutex ours;
        std::shared_mutex peer;
        std::function<void()> a = [&] { ours.LockRead(); ours.Unlock(); };
        std::function<void()> b = [&] { peer.lock_shared(); peer.unlock_shared(); };
        CompareOps("ReadWriteMutex read vs std::shared_mutex", 3, kOps, a, b);
    }
    {
        ThreadLib::Semphore ours;
        sem_t peer;
        sem_init(&peer, 0, 0);
        std::function<void()> a = [&] { ours.PostSem(); ours.WaitSem(); };
        std::function<void()> b = [&] { sem_post(&peer); sem_wait(&peer); };
        CompareOps("Semphore post/wait vs sem_t", 2, kOps, a, b);
        sem_destroy(&peer);
    }
}

}  // namespace

// Usage: mivex_bench [text]  - runs only the lines whose name contains text.
int main(int argc, char** argv) {
    if (argc > 1) g_filter = argv[1];
    std::printf("Mivex benchmark: %d alternating rounds per line, pool peer boost::asio::thread_pool(%d), "
                "ours limited to %d workers\n", kRounds, kPoolWorkers, kPoolWorkers);
    PoolBenchmarks();
    HandOffReference();
    LockBenchmarks();
    return 0;
}
