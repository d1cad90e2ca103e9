// SPDX-License-Identifier: MIT
// KeloMutex and TLock: the operations' answers, exclusion between threads
// and between real processes, and on POSIX the lock directory and its file
// names.
#include "child_process.hpp"
#include "test_support.hpp"

#include <chrono>
#include <optional>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The names of the files in `dir`.
std::vector<std::string> files_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

// How long Lock(timeout) took to refuse.
Clock::duration refusal(KeloMutex& mutex, int timeout) {
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(mutex.Lock(timeout)) << timeout;
    return Clock::now() - start;
}

// Each test locks names of its own; on POSIX its lock directories (the
// usual one and the fallback) are in the test's temporary directory too.
class MutexTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        runtime_.emplace("XDG_RUNTIME_DIR", root_.u8string());
        cache_.emplace("XDG_CACHE_HOME", (root_ / "cache").u8string());
        name_ = "Local\\keloutil-test-" + root_.filename().u8string();
    }
    // Whether another thread's object on the test's name (plus `suffix`)
    // gets the lock at once.
    bool free_for_another_thread(const std::string& suffix = "") const {
        bool locked = false;
        std::thread([&] { KeloMutex other; locked = other.Open((name_ + suffix).c_str()) && other.Lock(0); }).join();
        return locked;
    }

    fs::path lock_dir() const { return root_ / "keloutil"; }

    std::optional<ScopedEnvironment> runtime_, cache_;
    std::string name_;
};

TEST_F(MutexTest, OperationsAnswerAsTheFlagAndTheHandleSay) {
    KeloMutex mutex;
    EXPECT_FALSE(mutex.Lock(0)) << "closed";
    EXPECT_FALSE(mutex.Lock(-1)) << "no mutex is open, so there is nothing to wait for";
    EXPECT_TRUE(mutex.UnLock() && mutex.Close() && mutex.Close()) << "nothing to undo";
    ASSERT_TRUE(mutex.Open(name_.c_str()));
    EXPECT_TRUE(mutex.UnLock()) << "never locked";
    EXPECT_LT(refusal(mutex, -2), milliseconds(250)) << "Lock(-2) does not wait";
    ASSERT_TRUE(mutex.Lock(0));
    EXPECT_TRUE(mutex.IsLocked());
    EXPECT_FALSE(free_for_another_thread());
    EXPECT_TRUE(free_for_another_thread("-other")) << "another name is not held";
    EXPECT_TRUE(mutex.UnLock());
    EXPECT_FALSE(mutex.IsLocked());
    EXPECT_TRUE(free_for_another_thread());
    for (const TStr& empty : {TStr(), TStr("")}) {
        ASSERT_TRUE(mutex.Open(name_.c_str()));
        EXPECT_FALSE(mutex.Open(empty));
        EXPECT_FALSE(mutex.Lock(0)) << "an empty name closes the mutex opened before";
    }
    ASSERT_TRUE([&] { KeloMutex holder; return holder.Open(name_.c_str()) && holder.Lock(-1); }());
    EXPECT_TRUE(free_for_another_thread()) << "destroying the holder releases";
}

// The second process holds the lock until it is told to let go, by
// unlocking or by ending without unlocking.
class ProcessLockTest : public MutexTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProcessLockTest, OtherProcessHoldsTheLockUntilItLetsGo) {
    ChildProcess worker(sibling_program("keloutil_lock_worker"), {name_, root_.u8string(), GetParam()});
    ASSERT_TRUE(worker.started());
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(60);
    while (!fs::exists(root_ / "ready")) {
        ASSERT_TRUE(worker.running()) << "the worker ended with " << worker.wait();
        ASSERT_LT(Clock::now(), give_up) << "the worker never took the lock";
        std::this_thread::sleep_for(milliseconds(5));
    }

    KeloMutex mutex;
    ASSERT_TRUE(mutex.Open(name_.c_str()));
    EXPECT_LT(refusal(mutex, 0), milliseconds(250)) << "Lock(0) only tests";
    EXPECT_GE(refusal(mutex, 300), milliseconds(250)) << "Lock(300) waits before it gives up";
    EXPECT_FALSE(mutex.IsLocked());

    std::ofstream(root_ / "release").close();
    EXPECT_TRUE(mutex.Lock(-1));
    if (std::string(GetParam()) == "unlock") {
        EXPECT_TRUE(worker.running()) << "the lock came free through UnLock, not through the end";
        std::ofstream(root_ / "done").close();
    }
    EXPECT_EQ(worker.wait(), 0);
    EXPECT_TRUE(mutex.UnLock());
}

INSTANTIATE_TEST_SUITE_P(LetGo, ProcessLockTest, ::testing::Values("unlock", "exit"));

// ---- the POSIX lock directory ---------------------------------------------

class LockDirectoryTest : public MutexTest {
protected:
    void SetUp() override {
        MutexTest::SetUp();
        if (on_windows()) GTEST_SKIP() << "Windows names its mutexes in the kernel, not in a lock directory";
    }
};

TEST_F(LockDirectoryTest, EachNameGetsOneSafeFile) {
    const std::string long_name(300, 'a');
    const struct { std::string name, file; } cases[] = {
        {"Plain.name_9-x", "Plain.name_9-x"}, {"a/b", "a%2Fb"}, {"..", "%2E."}, {".", "%2E"},
        {"Local\\C:_x~%", "Local%5CC%3A_x%7E%25"}, {"\xC3\xA9", "%C3%A9"}, {long_name, std::string(200, 'a') + "~"},
        // The cut falls inside "%2F" and moves before it.
        {std::string(199, 'a') + std::string(10, '/'), std::string(199, 'a') + "~"},
        {std::string(198, 'a') + std::string(10, '/'), std::string(198, 'a') + "~"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        fs::remove_all(lock_dir());
        KeloMutex mutex;
        ASSERT_TRUE(mutex.Open(c.name.c_str()));
        // A shortened name ends in "~" and 16 characters that tell it apart.
        std::vector<std::string> files = files_in(lock_dir());
        if (c.file.back() == '~' && files.size() == 1 && files[0].size() == c.file.size() + 16)
            files[0].resize(c.file.size());
        EXPECT_EQ(files, std::vector<std::string>{c.file});
    }
    EXPECT_EQ(fs::status(lock_dir()).permissions() & fs::perms::all, fs::perms::owner_all);

    // Two long names that share their first 200 bytes stay apart.
    fs::remove_all(lock_dir());
    KeloMutex one, two;
    ASSERT_TRUE(one.Open(long_name.c_str()) && two.Open((long_name.substr(1) + "b").c_str()));
    EXPECT_EQ(files_in(lock_dir()).size(), 2u);
    EXPECT_TRUE(one.Lock(0) && two.Lock(0));
}

// A lock directory that is a link, a file or another account's is not
// used: the locks move to keloutil/locks under $XDG_CACHE_HOME, and still
// exclude each other. Nothing is made through the link or in the other's
// directory; a fallback that is no better is refused too.
TEST_F(LockDirectoryTest, MovesWhenTheDirectoryIsNotTheUsers) {
    const fs::path target = root_ / "target", fallback = root_ / "cache" / "keloutil" / "locks";
    for (const std::string what : {"symbolic link", "regular file", "another account's"}) {
        SCOPED_TRACE(what);
        for (const fs::path& p : {lock_dir(), target, root_ / "cache"}) fs::remove_all(p);
        fs::create_directory(target);
        if (what == "symbolic link") fs::create_directory_symlink(target, lock_dir());
        else if (what == "regular file") std::ofstream(lock_dir()).close();
        else if (!running_as_root() || !fs::create_directory(lock_dir()) || !change_owner(lock_dir(), 65534)) continue;
        KeloMutex mutex;
        ASSERT_TRUE(mutex.Open(name_.c_str()) && mutex.Lock(0));
        EXPECT_FALSE(free_for_another_thread());
        EXPECT_TRUE(fs::is_empty(target));
        EXPECT_TRUE(!fs::is_directory(lock_dir()) || fs::is_symlink(lock_dir()) || fs::is_empty(lock_dir()));
        EXPECT_EQ(files_in(fallback).size(), 1u);
        mutex.Close();
        fs::remove_all(root_ / "cache");
        fs::create_directories(fallback.parent_path());
        std::ofstream(fallback).close();
        EXPECT_FALSE(KeloMutex().Open(name_.c_str())) << "a fallback that is a file";
    }
}

// ---- TLock ------------------------------------------------------------------

using TLockTest = LeakCheckedTest;

// TLock never excludes: every request is granted at once. Its name is
// kept as 7-bit text.
TEST_F(TLockTest, GrantsEveryRequestAndKeepsItsNameAsSevenBitText) {
    TLock lock("shared"), same("shared", true, true);
    EXPECT_TRUE(lock.acquire() && lock.acquireIfAvailable() && same.acquire(0) && same.acquireIfAvailable());
    EXPECT_TRUE(lock.isValid());
    lock.destroy();
    EXPECT_TRUE(lock.acquire(-1)) << "destroy() changes nothing";
    same.release();
    const std::pair<TStr, const char*> names[] = {
        {TStr("Local\\lock 1"), "Local\\lock 1"}, {TStr("caf\xC3\xA9"), "caf??"}, {TStr(""), ""}};
    for (const auto& [name, kept] : names) EXPECT_EQ(shown(TLock(name).name()), kept);
}

} // namespace
