// SPDX-License-Identifier: MIT
// The object manager: clean-ups newest first, refusals, a new manager after
// an explicit fini(), and clean-ups that really run when a program exits or
// unloads the library.
#include "child_process.hpp"
#include "test_support.hpp"

#include <string>
#include <vector>

namespace {

std::vector<std::string> ran;

void record(void* object, void*) { ran.push_back(static_cast<const char*>(object)); }
void record_other(void*, void*) { ran.push_back("other"); }

// A clean-up that tries to register another and to shut the manager down
// again, recording the answers.
void reenter(void* object, void*) {
    static char late[] = "late";
    ran.push_back("at_exit " + std::to_string(CKeloUtilObjectManager::at_exit(late, record, nullptr)));
    ran.push_back("fini " + std::to_string(CKeloUtilObjectManager::instance()->fini()));
    record(object, nullptr);
}

struct Counted : CKeloUtilCleanup {
    explicit Counted(int* deleted) : deleted(deleted) {}
    ~Counted() override { ++*deleted; }
    int* deleted;
};

struct Recording : CKeloUtilCleanup {
    void cleanup(void* data) override { ran.push_back(static_cast<const char*>(data)); }
};

// Runs the clean-ups registered so far; the manager is gone afterwards.
int shut_down() { return CKeloUtilObjectManager::instance()->fini(); }

} // namespace

TEST(ObjectManager, RunsCleanupsNewestFirstOnceEach) {
    static char a[] = "a", b[] = "b", c[] = "c", d[] = "d";
    int deleted = 0;
    Recording recording;
    ran.clear();
    ASSERT_EQ(CKeloUtilObjectManager::instance()->init(), 1); // running since load
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(a, record, nullptr), 0);
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(new Counted(&deleted), nullptr), 0);
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(b, record, nullptr), 0);
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(&recording, d), 0);
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(c, record, nullptr), 0);
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(b, record_other, nullptr), -1); // same object, other function
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(&recording, a), -1);
    EXPECT_EQ(shut_down(), 0);
    EXPECT_EQ(ran, (std::vector<std::string>{"c", "d", "b", "a"}));
    EXPECT_EQ(deleted, 1); // the default cleanup deleted it
}

// A clean-up can neither register another nor shut down again; after that
// fini() a new, empty manager takes registrations.
TEST(ObjectManager, CleanupsCannotReenterAndANewManagerFollows) {
    static char older[] = "older", reentering[] = "reentering";
    ran.clear();
    ASSERT_EQ(CKeloUtilObjectManager::at_exit(older, record, nullptr), 0);
    ASSERT_EQ(CKeloUtilObjectManager::at_exit(reentering, reenter, nullptr), 0);
    EXPECT_EQ(shut_down(), 0);
    CKeloUtilObjectManager* manager = CKeloUtilObjectManager::instance();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->init(), 1); // state 2 already
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(older, record, nullptr), 0); // not a duplicate any more
    EXPECT_EQ(CKeloUtilObjectManager::at_exit(reentering, record, nullptr), 0);
    EXPECT_EQ(manager->fini(), 0);
    EXPECT_EQ(ran, (std::vector<std::string>{"at_exit -1", "fini -1", "reentering", "older", "reentering", "older"}));
}

// A real program registers a and b (an object the default cleanup deletes)
// from a module it loaded, then ends in one of two ways; the clean-ups run
// once, newest first, while keloutil is unloaded.
using ObjectManagerUnload = TempDirTest;

TEST_F(ObjectManagerUnload, RunsCleanupsOnceNewestFirstAtExitAndUnload) {
    for (const std::string mode : {"exit", "unload"}) {
        const std::string log = (root_ / mode).string();
        ChildProcess worker(sibling_program("keloutil_unload_worker"), {mode, log});
        ASSERT_TRUE(worker.started());
        ASSERT_EQ(worker.wait(), 0);
        EXPECT_EQ(read_file(log), mode == "exit" ? "main returns\nb\na\n" : "b\na\nunloaded\n") << mode;
    }
}
