// The Linux helpers of the Wine harness, tested natively: a fault here would
// otherwise show up only as a puzzling serial failure under Wine.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Waits (sleeping, generous deadline) until the condition holds.
template <class F>
bool eventually(F condition) {
  auto end = Clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

int openRaw(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd >= 0) {
    termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

// Reads exactly n bytes or gives up after the deadline.
std::string readExactly(int fd, size_t n) {
  std::string got;
  auto end = Clock::now() + std::chrono::seconds(10);
  char buf[4096];
  while (got.size() < n && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) continue;
    ssize_t r = read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (r <= 0) break;
    got.append(buf, static_cast<size_t>(r));
  }
  return got;
}

void writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w <= 0) return;
    done += static_cast<size_t>(w);
  }
}

// A ptypair process with its two links in a private folder.
class PtyPair : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillet-ptypair-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    link1_ = dir_ + "/com7";
    link2_ = dir_ + "/com8";
    control_ = dir_ + "/control";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const char* argv[] = {QUILLET_PTYPAIR_PATH, "--control",    control_.c_str(),
                          link1_.c_str(),       link2_.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, argv[0], &fa, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::string ready = readExactly(out[0], 6);
    close(out[0]);
    ASSERT_EQ(ready, "ready\n");
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    unlink(control_.c_str());
    unlink(link1_.c_str());
    unlink(link2_.c_str());
    rmdir(dir_.c_str());
  }

  void command(const std::string& line) { std::ofstream(control_) << line << '\n'; }

  std::string dir_, link1_, link2_, control_;
  pid_t pid_ = -1;
};

TEST_F(PtyPair, RelaysEveryByteBothWaysAtOnceWithoutLoss) {
  int a = openRaw(link1_), b = openRaw(link2_);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  // More than every kernel buffer on the way, so back-pressure is exercised.
  std::string forward, backward;
  for (int i = 0; i < 300000; i++) {
    forward.push_back(static_cast<char>(i % 251));
    backward.push_back(static_cast<char>(255 - i % 253));
  }
  std::thread writerA([&] { writeAll(a, forward); });
  std::thread writerB([&] { writeAll(b, backward); });
  std::string atB, atA;
  std::thread readerB([&] { atB = readExactly(b, forward.size()); });
  atA = readExactly(a, backward.size());
  readerB.join();
  writerA.join();
  writerB.join();
  EXPECT_TRUE(atB == forward) << "received " << atB.size() << " of " << forward.size();
  EXPECT_TRUE(atA == backward) << "received " << atA.size() << " of " << backward.size();
  close(a);
  close(b);
}

TEST_F(PtyPair, UnplugRemovesTheSecondPortAndPlugBringsItBack) {
  command("unplug 2");
  ASSERT_TRUE(eventually([&] { return !exists(link2_); }));
  EXPECT_TRUE(exists(link1_));

  command("plug 2");
  ASSERT_TRUE(eventually([&] { return exists(link2_); }));
  int a = openRaw(link1_), b = openRaw(link2_);
  writeAll(a, "after replug");
  EXPECT_EQ(readExactly(b, 12), "after replug");
  close(a);
  close(b);
}

TEST_F(PtyPair, SignalsUnplugAndTerminateRemovingTheLinks) {
  int b = openRaw(link2_);
  kill(pid_, SIGUSR1);
  ASSERT_TRUE(eventually([&] { return !exists(link2_); }));
  // The device is gone for a program that still has it open.
  char c;
  pollfd p{b, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  EXPECT_LE(read(b, &c, 1), 0);
  close(b);

  kill(pid_, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(exists(link1_));
}

// The shim's ioctl, called directly: no preloading into a sanitized process.
class ModemShim : public PtyPair {
 protected:
  using IoctlFn = int (*)(int, unsigned long, ...);

  void SetUp() override {
    PtyPair::SetUp();
    lib_ = dlopen(QUILLET_MODEMSHIM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    shimIoctl_ = reinterpret_cast<IoctlFn>(dlsym(lib_, "ioctl"));
    ASSERT_NE(shimIoctl_, nullptr);
    lines_ = dir_ + "/lines";
    setenv("QUILLET_MODEM_LINES", lines_.c_str(), 1);
    fd_ = open(link1_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd_, 0);
  }

  void TearDown() override {
    if (fd_ >= 0) close(fd_);
    unlink(lines_.c_str());
    unsetenv("QUILLET_MODEM_LINES");
    if (lib_) dlclose(lib_);
    PtyPair::TearDown();
  }

  int modemLines() {
    int bits = -1;
    EXPECT_EQ(shimIoctl_(fd_, TIOCMGET, &bits), 0);
    return bits;
  }

  void* lib_ = nullptr;
  IoctlFn shimIoctl_ = nullptr;
  std::string lines_;
  int fd_ = -1;
};

TEST_F(ModemShim, InputLinesComeFromTheControlFile) {
  constexpr int out = TIOCM_DTR | TIOCM_RTS;  // raised at open
  EXPECT_EQ(modemLines(), TIOCM_CTS | TIOCM_DSR | TIOCM_CD | out)
      << "no file: a device is attached";
  const struct {
    const char* text;
    int bits;
  } cases[] = {
      {"CTS DSR CD\n", TIOCM_CTS | TIOCM_DSR | TIOCM_CD},
      {"ri", TIOCM_RI},
      {"RLSD|CTS", TIOCM_CD | TIOCM_CTS},
      {"", 0},
      {"0x100", TIOCM_DSR},
      {"64", TIOCM_CD},
      {"0x1ff",
       TIOCM_CTS | TIOCM_CD | TIOCM_RI | TIOCM_DSR},  // output bits in the file are ignored
      {"bogus words", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::ofstream(lines_, std::ios::trunc) << c.text;
    EXPECT_EQ(modemLines(), c.bits | out);
  }
}

TEST_F(ModemShim, OutputLinesFollowSetAndClear) {
  std::ofstream(lines_) << "";
  int bits = TIOCM_DTR;
  ASSERT_EQ(shimIoctl_(fd_, TIOCMBIC, &bits), 0);
  EXPECT_EQ(modemLines(), TIOCM_RTS);
  bits = TIOCM_DTR;
  ASSERT_EQ(shimIoctl_(fd_, TIOCMBIS, &bits), 0);
  EXPECT_EQ(modemLines(), TIOCM_RTS | TIOCM_DTR);
  bits = 0;
  ASSERT_EQ(shimIoctl_(fd_, TIOCMSET, &bits), 0);
  EXPECT_EQ(modemLines(), 0);
}

TEST_F(ModemShim, AnswersSerialQueriesAndLeavesOtherDescriptorsAlone) {
  serial_icounter_struct counts;
  memset(&counts, 0xff, sizeof counts);
  ASSERT_EQ(shimIoctl_(fd_, TIOCGICOUNT, &counts), 0);
  EXPECT_EQ(counts.rx, 0);
  serial_struct info{};
  ASSERT_EQ(shimIoctl_(fd_, TIOCGSERIAL, &info), 0);
  EXPECT_EQ(info.type, PORT_16550A);

  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  int bits = 0;
  errno = 0;
  EXPECT_EQ(shimIoctl_(pipefd[0], TIOCMGET, &bits), -1) << "a pipe has no modem lines";
  EXPECT_EQ(errno, ENOTTY);
  close(pipefd[0]);
  close(pipefd[1]);
}

// Every Wine process of a run loads the shim: its port log names each
// pseudo-terminal a process uses once, whatever call comes first, and
// nothing else.
TEST_F(ModemShim, LogsTheFirstUseOfEachPseudoTerminalOnce) {
  using TcgetattrFn = int (*)(int, termios*);
  auto shimTcgetattr = reinterpret_cast<TcgetattrFn>(dlsym(lib_, "tcgetattr"));
  ASSERT_NE(shimTcgetattr, nullptr);
  const std::string log = dir_ + "/ports.log";
  int other = open(link2_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);

  termios t;
  EXPECT_EQ(shimTcgetattr(fd_, &t), 0) << "unlogged: no QUILLET_OPEN_LOG";
  EXPECT_FALSE(exists(log));

  setenv("QUILLET_OPEN_LOG", log.c_str(), 1);
  EXPECT_EQ(shimTcgetattr(fd_, &t), 0) << "the real call still answers";
  modemLines();
  int bits = 0;
  EXPECT_EQ(shimIoctl_(other, TIOCMGET, &bits), 0);
  EXPECT_EQ(shimTcgetattr(other, &t), 0);
  EXPECT_EQ(shimIoctl_(pipefd[0], TIOCMGET, &bits), -1);
  EXPECT_EQ(shimTcgetattr(pipefd[0], &t), -1);
  unsetenv("QUILLET_OPEN_LOG");

  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string pid = std::to_string(getpid());
  const std::string first = ttyname(fd_);  // ttyname reuses one buffer
  const std::string second = ttyname(other);
  EXPECT_EQ(text, pid + " " + first + "\n" + pid + " " + second + "\n");
  close(pipefd[0]);
  close(pipefd[1]);
  close(other);
  unlink(log.c_str());
}

}  // namespace
