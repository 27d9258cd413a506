#include "app/single_instance_flock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_environment.h"

extern char** environ;

namespace {

// Runs `body` in a forked child that then waits until told to exit; the parent goes on once
// the child has run `body`. The child answers through the pipe with one byte (1 = true).
class ChildProcess {
 public:
  template <typename Body>
  explicit ChildProcess(Body body) {
    int up[2];
    int down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(down[1]);  // or the wait below never sees the parent's end closing
      ::close(up[0]);
      const char answer = body() ? 1 : 0;
      (void)!::write(up[1], &answer, 1);
      char stop;
      (void)!::read(down[0], &stop, 1);  // returns when the parent writes or closes
      ::_exit(0);
    }
    ::close(up[1]);
    ::close(down[0]);
    release_ = down[1];
    if (::read(up[0], &answer_, 1) != 1) answer_ = -1;
    ::close(up[0]);
  }
  ~ChildProcess() { Stop(); }
  int answer() const { return answer_; }
  void Stop() {
    if (pid_ <= 0) return;
    ::close(release_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  char answer_ = -1;
};

TEST(FlockInstanceLocksTest, AHeldLockIsSeenByOtherProcessesUntilItsHolderEnds) {
  TemporaryFolder folder;
  ChildProcess holder([&] {
    static FlockInstanceLocks* locks = new FlockInstanceLocks(folder.path());  // kept for life
    return locks->Hold(kHeldInstanceLockName);
  });
  ASSERT_EQ(holder.answer(), 1);

  FlockInstanceLocks mine(folder.path());
  EXPECT_TRUE(mine.IsHeldElsewhere(kHeldInstanceLockName));
  EXPECT_FALSE(mine.Hold(kHeldInstanceLockName));
  EXPECT_FALSE(mine.IsHeldElsewhere(kProbedInstanceLockName));

  holder.Stop();  // the kernel releases the lock of an ended process
  EXPECT_FALSE(mine.IsHeldElsewhere(kHeldInstanceLockName));
  EXPECT_TRUE(mine.Hold(kHeldInstanceLockName));
}

TEST(FlockInstanceLocksTest, ProbingNeverTakesTheLock) {
  TemporaryFolder folder;
  FlockInstanceLocks first(folder.path());
  EXPECT_FALSE(first.IsHeldElsewhere(kProbedInstanceLockName));
  EXPECT_TRUE(std::filesystem::exists(first.LockFilePath(kProbedInstanceLockName)));
  ChildProcess other([&] {
    FlockInstanceLocks locks(folder.path());
    return !locks.IsHeldElsewhere(kProbedInstanceLockName) && locks.Hold(kHeldInstanceLockName);
  });
  EXPECT_EQ(other.answer(), 1);
}

TEST(FlockInstanceLocksTest, ALaunchedProgramDoesNotInheritTheLock) {
  TemporaryFolder folder;
  pid_t sleeper = -1;
  {
    FlockInstanceLocks locks(folder.path());
    ASSERT_TRUE(locks.Hold(kHeldInstanceLockName));
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
  }  // the host's own descriptor closes here; the launched program still runs
  ChildProcess next([&] {
    FlockInstanceLocks locks(folder.path());
    return locks.Hold(kHeldInstanceLockName);
  });
  EXPECT_EQ(next.answer(), 1);
  ::kill(sleeper, SIGKILL);
  ::waitpid(sleeper, nullptr, 0);
}

TEST(FlockInstanceLocksTest, LockFilesLiveInTheUsersPrivateFolderNeverInTmp) {
  TemporaryFolder folder;
  {
    ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", folder.path().string());
    EXPECT_EQ(FlockInstanceLocks().LockFilePath(kHeldInstanceLockName),
              folder.path() / "Velmorante" /
                  "velmoranSetupESD-02c7dcb8-e644-4804-934d-5a442668112e.lock");
  }
  // Without a runtime folder: the state folder, not the shared /tmp where another user's
  // instance would hold the same lock.
  ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
  ScopedEnvironmentVariable state("XDG_STATE_HOME", (folder.path() / "state").string());
  EXPECT_EQ(FlockInstanceLocks().LockFilePath(kProbedInstanceLockName).parent_path(),
            folder.path() / "state" / "Velmorante");
}

TEST(FlockInstanceLocksTest, AnUnusableFolderDoesNotStopTheStart) {
  FlockInstanceLocks locks("/nonexistent-folder-for-locks");
  EXPECT_FALSE(locks.IsHeldElsewhere(kProbedInstanceLockName));
  EXPECT_TRUE(locks.Hold(kHeldInstanceLockName));
}

}  // namespace
