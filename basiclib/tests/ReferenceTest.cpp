#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <future>
#include <latch>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace ThreadLib;

namespace {

// Counts its deletions; in its destructor it tries to revive itself, which
// must fail because the count has reached zero.
class Tracked : public CReferenceIdObject {
public:
    explicit Tracked(std::atomic<int>& deleted, int* countInDestructor = nullptr,
                     bool* revivedInDestructor = nullptr)
        : m_deleted(deleted), m_count(countInDestructor), m_revived(revivedInDestructor) {}
    ~Tracked() override {
        if (m_revived != nullptr) *m_revived = AddReference();
        if (m_count != nullptr) *m_count = GetReferenceCount();
        m_deleted.fetch_add(1);
    }
    using CReferenceIdObject::SetID;

private:
    std::atomic<int>& m_deleted;
    int* m_count;
    bool* m_revived;
};

}  // namespace

TEST(CReferenceObjectTest, LastReleaseDeletesTheMostDerivedObject) {
    std::atomic<int> deleted{0};
    int countInDestructor = -1;
    bool revived = true;
    auto* obj = new Tracked(deleted, &countInDestructor, &revived);
    EXPECT_EQ(obj->GetReferenceCount(), 1);
    EXPECT_EQ(obj->GetID(), 0);
    EXPECT_TRUE(obj->AddReference());
    EXPECT_EQ(obj->GetReferenceCount(), 2);
    obj->ReleaseReference();
    EXPECT_EQ(deleted.load(), 0);
    obj->ReleaseReference();
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_FALSE(revived);  // AddReference at zero refuses
    EXPECT_EQ(countInDestructor, 0);
}

TEST(CReferenceObjectTest, CopyIsANewObjectWithOneReference) {
    std::atomic<int> deleted{0};
    auto* source = new Tracked(deleted);
    source->SetID(7);
    source->AddReference();
    auto* copy = new Tracked(*source);
    EXPECT_EQ(copy->GetReferenceCount(), 1);
    EXPECT_EQ(copy->GetID(), 7);
    copy->ReleaseReference();
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_EQ(source->GetReferenceCount(), 2);
    source->ReleaseReference();
    source->ReleaseReference();
    EXPECT_EQ(deleted.load(), 2);
}

TEST(CReferenceObjectTest, ConcurrentHoldersDeleteExactlyOnce) {
    std::atomic<int> deleted{0};
    for (int round = 0; round < 50; ++round) {
        auto* obj = new Tracked(deleted);
        constexpr int kThreads = 4;
        for (int i = 0; i < kThreads; ++i) obj->AddReference();
        obj->ReleaseReference();  // the creator lets go first
        std::latch go(kThreads);
        std::vector<std::future<void>> holders;
        for (int i = 0; i < kThreads; ++i) {
            holders.push_back(std::async(std::launch::async, [&] {
                go.arrive_and_wait();
                obj->ReleaseReference();
            }));
        }
        for (auto& h : holders) h.get();
    }
    EXPECT_EQ(deleted.load(), 50);
}

class RegistryTest : public testing::Test {
protected:
    Tracked* Make() {
        auto* obj = new Tracked(m_deleted);
        m_objects.push_back(obj);
        return obj;
    }
    // Gives back the creators' references (the registry may hold more).
    void TearDown() override {
        for (Tracked* obj : m_objects) obj->ReleaseReference();
    }

    std::atomic<int> m_deleted{0};
    std::vector<Tracked*> m_objects;
};

TEST_F(RegistryTest, IdsAreHandedOutInOrderAndSkipIdsInUse) {
    struct Case {
        std::string name;
        std::vector<int> chosen;  // filed with AddObjectToMap first
        std::vector<int> expected;  // ids of the next AddObject calls
    };
    const std::vector<Case> cases = {
        {"new registry", {}, {1, 2, 3}},
        {"chosen id 2 is skipped", {2}, {1, 3, 4}},
        {"chosen ids 1 and 3", {1, 3}, {2, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CReferenceObjectMgr mgr;
        for (int id : c.chosen) {
            Tracked* obj = Make();
            ASSERT_TRUE(mgr.AddObjectToMap(id, obj));
            EXPECT_EQ(obj->GetID(), 0);  // a chosen id leaves the object's id alone
        }
        for (int expected : c.expected) {
            Tracked* obj = Make();
            ASSERT_TRUE(mgr.AddObject(obj));
            EXPECT_EQ(obj->GetID(), expected);
            EXPECT_EQ(obj->GetReferenceCount(), 2);
        }
    }
    EXPECT_EQ(m_deleted.load(), 0);
}

TEST_F(RegistryTest, RefusalsLeaveCountsAlone) {
    CReferenceObjectMgr mgr;
    Tracked* a = Make();
    Tracked* b = Make();
    EXPECT_FALSE(mgr.AddObject(nullptr));
    EXPECT_FALSE(mgr.AddObjectToMap(1, nullptr));
    EXPECT_FALSE(mgr.ReleaseRefObj(nullptr));
    ASSERT_TRUE(mgr.AddObjectToMap(4, a));
    EXPECT_FALSE(mgr.AddObjectToMap(4, b));
    EXPECT_EQ(b->GetReferenceCount(), 1);
    EXPECT_EQ(mgr.GetReferenceObj(5), nullptr);
    EXPECT_FALSE(mgr.RemoveObject(5));
    EXPECT_EQ(a->GetReferenceCount(), 2);
}

TEST_F(RegistryTest, LookupAddsAReferenceForTheCaller) {
    CReferenceObjectMgr mgr;
    Tracked* a = Make();
    ASSERT_TRUE(mgr.AddObject(a));
    CReferenceIdObject* found = mgr.GetReferenceObj(a->GetID());
    ASSERT_EQ(found, a);
    EXPECT_EQ(a->GetReferenceCount(), 3);
    EXPECT_TRUE(mgr.ReleaseRefObj(found));
    EXPECT_EQ(a->GetReferenceCount(), 2);
}

TEST_F(RegistryTest, RemovingTheLastHolderDeletesTheObject) {
    std::atomic<int> deleted{0};
    CReferenceObjectMgr mgr;
    auto* obj = new Tracked(deleted);
    ASSERT_TRUE(mgr.AddObject(obj));
    const int id = obj->GetID();
    obj->ReleaseReference();  // only the registry holds it now
    EXPECT_EQ(deleted.load(), 0);
    EXPECT_TRUE(mgr.RemoveObject(id));
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_FALSE(mgr.RemoveObject(id));
}

TEST_F(RegistryTest, WalkVisitsInIdOrder) {
    CReferenceObjectMgr mgr;
    EXPECT_FALSE(mgr.BeginGet());
    // An empty walk left the lock free: a change from another thread does
    // not wait.
    std::vector<Tracked*> filed = {Make(), Make(), Make()};
    auto add = std::async(std::launch::async, [&] {
        return mgr.AddObjectToMap(5, filed[0]) && mgr.AddObjectToMap(1, filed[1]) &&
               mgr.AddObjectToMap(3, filed[2]);
    });
    ASSERT_TRUE(MivexTest::Ready(add));
    ASSERT_TRUE(add.get());
    ASSERT_TRUE(mgr.BeginGet());
    std::vector<CReferenceIdObject*> seen;
    while (CReferenceIdObject* obj = mgr.GetNext()) seen.push_back(obj);
    EXPECT_EQ(mgr.GetNext(), nullptr);
    mgr.EndGet();
    EXPECT_EQ(seen, (std::vector<CReferenceIdObject*>{filed[1], filed[2], filed[0]}));
    EXPECT_EQ(filed[0]->GetReferenceCount(), 2);  // the walk added none
}

TEST_F(RegistryTest, DestructionAndRemoveAllGiveBackEveryReferenceOnce) {
    for (bool removeAll : {false, true}) {
        SCOPED_TRACE(removeAll ? "RemoveAllObject" : "destructor");
        std::vector<Tracked*> filed;
        {
            CReferenceObjectMgr mgr;
            for (int i = 0; i < 3; ++i) {
                filed.push_back(Make());
                ASSERT_TRUE(mgr.AddObject(filed.back()));
            }
            ASSERT_TRUE(mgr.AddObject(filed[0]));  // filed twice: two references
            if (removeAll) {
                mgr.RemoveAllObject();
                EXPECT_FALSE(mgr.BeginGet());
            }
        }
        for (Tracked* obj : filed) EXPECT_EQ(obj->GetReferenceCount(), 1);
    }
    EXPECT_EQ(m_deleted.load(), 0);
}

TEST_F(RegistryTest, WalksFromTwoThreadsAreSerialised) {
    CReferenceObjectMgr mgr;
    ASSERT_TRUE(mgr.AddObject(Make()));
    ASSERT_TRUE(mgr.AddObject(Make()));
    ASSERT_TRUE(mgr.BeginGet());
    ASSERT_NE(mgr.GetNext(), nullptr);  // this walk stands at the second object
    std::latch started(1);
    auto other = std::async(std::launch::async, [&] {
        started.count_down();
        if (!mgr.BeginGet()) return -1;
        int n = 0;
        while (mgr.GetNext() != nullptr) ++n;
        mgr.EndGet();
        return n;
    });
    started.wait();
    EXPECT_TRUE(MivexTest::Pending(other));
    ASSERT_NE(mgr.GetNext(), nullptr);  // the other walk did not move our cursor
    EXPECT_EQ(mgr.GetNext(), nullptr);
    mgr.EndGet();
    ASSERT_TRUE(MivexTest::Ready(other));
    EXPECT_EQ(other.get(), 2);
}

TEST_F(RegistryTest, ConcurrentChangesLookupsAndWalks) {
    CReferenceObjectMgr mgr;
    std::atomic<int> deleted{0};
    auto worker = [&](int seed) {
        for (int i = 0; i < 300; ++i) {
            auto* obj = new Tracked(deleted);
            mgr.AddObject(obj);
            const int id = obj->GetID();
            obj->ReleaseReference();
            if (CReferenceIdObject* found = mgr.GetReferenceObj(id)) mgr.ReleaseRefObj(found);
            if ((i + seed) % 7 == 0 && mgr.BeginGet()) {
                while (mgr.GetNext() != nullptr) {
                }
                mgr.EndGet();
            }
            mgr.RemoveObject(id);
        }
    };
    std::vector<std::future<void>> threads;
    for (int t = 0; t < 4; ++t) threads.push_back(std::async(std::launch::async, worker, t));
    for (auto& t : threads) t.get();
    EXPECT_EQ(deleted.load(), 4 * 300);
    EXPECT_FALSE(mgr.BeginGet());
}

TEST(CPointerKeeperTest, CountsAndReturnsThePointerOnTheLastRelease) {
    int a = 0, b = 0;
    CPointerKeeper keeper;
    struct Step {
        bool add;
        void* p;
        void* expected;
    };
    const Step steps[] = {
        {true, &a, &a},    {true, &a, &a},      {false, &a, nullptr}, {false, &a, &a},
        {false, &a, nullptr},  // already gone
        {false, &b, nullptr},  // never added
        {true, nullptr, nullptr}, {false, nullptr, nullptr},
        {true, &a, &a},    {false, &a, &a},  // counting starts afresh
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        void* got = s.add ? keeper.AddReference(s.p) : keeper.DelReference(s.p);
        EXPECT_EQ(got, s.expected) << "step " << i;
    }
}

TEST(CPointerKeeperTest, InstanceIsOneKeeperAndOthersCountApart) {
    int x = 0;
    std::vector<std::future<CPointerKeeper*>> first;
    for (int i = 0; i < 4; ++i) {
        first.push_back(std::async(std::launch::async, [] { return &CPointerKeeper::Instance(); }));
    }
    CPointerKeeper* instance = &CPointerKeeper::Instance();
    for (auto& f : first) EXPECT_EQ(f.get(), instance);

    CPointerKeeper own;
    instance->AddReference(&x);
    EXPECT_EQ(own.DelReference(&x), nullptr);  // not counted there
    EXPECT_EQ(own.AddReference(&x), &x);
    EXPECT_EQ(instance->DelReference(&x), &x);
    EXPECT_EQ(own.DelReference(&x), &x);
}

TEST(CPointerKeeperTest, OneThreadSeesTheCountReachZero) {
    int x = 0;
    CPointerKeeper keeper;
    constexpr int kThreads = 4;
    constexpr int kEach = 1000;
    for (int i = 0; i < kThreads * kEach; ++i) keeper.AddReference(&x);
    std::latch go(kThreads);
    std::vector<std::future<int>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::async(std::launch::async, [&] {
            go.arrive_and_wait();
            int last = 0;
            for (int i = 0; i < kEach; ++i) last += keeper.DelReference(&x) != nullptr;
            return last;
        }));
    }
    int lastSeen = 0;
    for (auto& t : threads) lastSeen += t.get();
    EXPECT_EQ(lastSeen, 1);
}
