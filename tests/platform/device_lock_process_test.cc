// The named device lock between real processes: a forked child holds a name,
// the parent is kept off it until the child exits or is killed. Pipes order
// the two processes; no step waits on the clock.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "transport/transport_fixture.h"

namespace {

// A name no other test run on the machine uses at the same time.
std::string UniqueName(const char* what) {
  return std::string("hidraw-quorvel-test-") + what + "-" + std::to_string(getpid());
}

// A child process that takes a lock name, reports the outcome and then waits
// for a byte on its command pipe (or end of file) before exiting.
struct LockHolder {
  pid_t pid = -1;
  int commandFd = -1;
  int resultFd = -1;
};

LockHolder StartLockHolder(const std::string& name) {
  int command[2];
  int result[2];
  LockHolder holder;
  if (pipe(command) != 0 || pipe(result) != 0)
    return holder;
  holder.pid = fork();
  if (holder.pid == 0) {
    close(command[1]);
    close(result[0]);
    intptr_t handle = 0;
    char outcome = static_cast<char>(NativePlatform().acquireDeviceLock(name, &handle));
    if (write(result[1], &outcome, 1) != 1)
      _exit(2);
    char ignored;
    while (read(command[0], &ignored, 1) < 0) {
    }
    _exit(0);
  }
  close(command[0]);
  close(result[1]);
  holder.commandFd = command[1];
  holder.resultFd = result[0];
  return holder;
}

// The child's outcome, or -1 when it sent none.
int HolderOutcome(const LockHolder& holder) {
  char outcome;
  return read(holder.resultFd, &outcome, 1) == 1 ? outcome : -1;
}

// Lets the child exit normally and reaps it; true on a clean exit.
bool StopLockHolder(LockHolder* holder) {
  char go = 'x';
  bool sent = write(holder->commandFd, &go, 1) == 1;
  close(holder->commandFd);
  close(holder->resultFd);
  int status = 0;
  bool reaped = waitpid(holder->pid, &status, 0) == holder->pid;
  return sent && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool KillLockHolder(LockHolder* holder) {
  bool killed = kill(holder->pid, SIGKILL) == 0;
  int status = 0;
  bool reaped = waitpid(holder->pid, &status, 0) == holder->pid;
  close(holder->commandFd);
  close(holder->resultFd);
  return killed && reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

const int kTaken = static_cast<int>(DeviceLockResult::kTaken);
const int kHeldElsewhere = static_cast<int>(DeviceLockResult::kHeldElsewhere);

// The lock names on the real platform; the link tests put its locks in place
// of the virtual ones to meet a second process on the same interface.
class DeviceLockProcessTest : public TransportTest {
 protected:
  void UseNativeLocks() {
    Platform native = NativePlatform();
    g_platform.acquireDeviceLock = native.acquireDeviceLock;
    g_platform.releaseDeviceLock = native.releaseDeviceLock;
  }
};

TEST_F(DeviceLockProcessTest, NameIsFreeAgainWhenTheHolderExits) {
  const Platform native = NativePlatform();
  const std::string name = UniqueName("exit");
  LockHolder holder = StartLockHolder(name);
  ASSERT_GT(holder.pid, 0);
  ASSERT_EQ(HolderOutcome(holder), kTaken);

  intptr_t handle = 0;
  EXPECT_EQ(native.acquireDeviceLock(name, &handle), DeviceLockResult::kHeldElsewhere);
  ASSERT_TRUE(StopLockHolder(&holder));

  ASSERT_EQ(native.acquireDeviceLock(name, &handle), DeviceLockResult::kTaken);
  // Held by this process now: a child is kept off it in turn.
  LockHolder second = StartLockHolder(name);
  ASSERT_GT(second.pid, 0);
  EXPECT_EQ(HolderOutcome(second), kHeldElsewhere);
  ASSERT_TRUE(StopLockHolder(&second));
  // Releasing frees the name at once.
  native.releaseDeviceLock(handle);
  ASSERT_EQ(native.acquireDeviceLock(name, &handle), DeviceLockResult::kTaken);
  native.releaseDeviceLock(handle);
}

TEST_F(DeviceLockProcessTest, NameIsFreeAgainWhenTheHolderIsKilled) {
  const Platform native = NativePlatform();
  const std::string name = UniqueName("kill");
  LockHolder holder = StartLockHolder(name);
  ASSERT_GT(holder.pid, 0);
  ASSERT_EQ(HolderOutcome(holder), kTaken);

  intptr_t handle = 0;
  EXPECT_EQ(native.acquireDeviceLock(name, &handle), DeviceLockResult::kHeldElsewhere);
  ASSERT_TRUE(KillLockHolder(&holder));

  ASSERT_EQ(native.acquireDeviceLock(name, &handle), DeviceLockResult::kTaken);
  native.releaseDeviceLock(handle);
}

TEST_F(DeviceLockProcessTest, LinkOpenFailsWhileAnotherProcessHoldsTheInterface) {
  UseNativeLocks();
  const std::string name = UniqueName("link");
  const std::string path = "/dev/" + name;
  LoadDevices({DeviceJson("a", path)});

  LockHolder other = StartLockHolder(name);
  ASSERT_GT(other.pid, 0);
  ASSERT_EQ(HolderOutcome(other), kTaken);
  EXPECT_EQ(OpenLink(path.c_str()), 0);
  EXPECT_EQ(HidLink.device, nullptr);
  ASSERT_TRUE(StopLockHolder(&other));

  ASSERT_EQ(OpenLink(path.c_str()), 1);
  LockHolder later = StartLockHolder(name);
  ASSERT_GT(later.pid, 0);
  EXPECT_EQ(HolderOutcome(later), kHeldElsewhere);
  ASSERT_TRUE(StopLockHolder(&later));

  CloseLink();
  LockHolder afterClose = StartLockHolder(name);
  ASSERT_GT(afterClose.pid, 0);
  EXPECT_EQ(HolderOutcome(afterClose), kTaken);
  ASSERT_TRUE(StopLockHolder(&afterClose));
}

}  // namespace
