/*
 * libquillet_modemshim.so: modem lines for pseudo-terminals, loaded into Wine
 * with LD_PRELOAD by the test harness and the virtual scanner.
 *
 * Pseudo-terminals have no modem-line ioctls, so under Wine
 * GetCommModemStatus fails with error 50 and WaitCommEvent gives up at once
 * for any mask beyond EV_RXCHAR. For pseudo-terminal descriptors only, this
 * shim answers:
 *   TIOCMGET          input lines from the control file, plus the output lines
 *   TIOCMSET/BIS/BIC  output lines (DTR, RTS) kept per pseudo-terminal
 *   TIOCGICOUNT       zero counters (no line errors on a pseudo-terminal)
 *   TIOCGSERIAL       a plain 16550A
 *   TIOCSSERIAL       accepted and ignored
 * Every other call goes to the real ioctl. Once the other end of the
 * pseudo-terminal is gone (the harness pulled the device out), these calls
 * fail with EIO, as a serial driver's do after its device was removed.
 *
 * The control file is named by QUILLET_MODEM_LINES. It holds either a number
 * (TIOCM_* bits, decimal or 0x hex) or words among CTS DSR CD (or RLSD, CAR)
 * and RI (or RNG). A missing file or variable means CTS DSR CD, as an attached
 * and powered device would show. The file is read on every query, so a test
 * sees its change at once.
 *
 * When QUILLET_OPEN_LOG names a file, the first serial call of this process
 * on each pseudo-terminal (a modem-line ioctl above, tcgetattr or tcsetattr)
 * appends "<pid> <device path>" to it: tests show which program used a port.
 * Wine opens device files in wineserver, not in the program, so the first
 * call is what shows the program's open. Set the variable for the whole run
 * (quillet_add_wine_test ENVIRONMENT): Wine starts child processes with the
 * Unix environment of the run, not with a Windows program's own changes.
 */
#define _GNU_SOURCE
#include <ctype.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#define DEFAULT_INPUT_LINES (TIOCM_CTS | TIOCM_DSR | TIOCM_CD)
#define INPUT_MASK (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI)
#define OUTPUT_MASK (TIOCM_DTR | TIOCM_RTS)

/* Unix98 pseudo-terminal slaves use majors 136..143. */
#define PTS_MAJOR_FIRST 136
#define PTS_MAJOR_LAST 143
#define MAX_PTS (8 * 256)

/* Output lines per pseudo-terminal; bit 31 marks "set at least once". A
 * serial driver raises DTR and RTS on open, so that is the start value. */
static unsigned output_lines[MAX_PTS];
#define TOUCHED 0x80000000u

static long real_ioctl(int fd, unsigned long request, void* arg) {
  return syscall(SYS_ioctl, fd, request, arg);
}

/* Index of the pseudo-terminal behind fd, or -1 for anything else. */
static int pts_index(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
  unsigned maj = major(st.st_rdev);
  if (maj < PTS_MAJOR_FIRST || maj > PTS_MAJOR_LAST) return -1;
  unsigned idx = (maj - PTS_MAJOR_FIRST) * 256 + minor(st.st_rdev);
  return idx < MAX_PTS ? (int)idx : -1;
}

/* The master side has closed: the device is gone. */
static int hung_up(int fd) {
  struct pollfd p = {fd, 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

/* Pseudo-terminals already written to the use log by this process. */
static unsigned char logged[MAX_PTS];

static void log_first_use(int fd, int idx) {
  const char* path = getenv("QUILLET_OPEN_LOG");
  if (!path || !*path || __atomic_exchange_n(&logged[idx], 1, __ATOMIC_RELAXED)) return;
  int saved = errno;
  char link[64], device[256];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, device, sizeof device - 1);
  device[n > 0 ? n : 0] = '\0';
  char line[320];
  int len = snprintf(line, sizeof line, "%ld %s\n", (long)getpid(), device);
  int log = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log >= 0) {
    /* One write with O_APPEND: lines of several processes never interleave. */
    ssize_t written = write(log, line, (size_t)len);
    (void)written;
    close(log);
  }
  errno = saved;
}

static void note_use(int fd) {
  if (!getenv("QUILLET_OPEN_LOG")) return;
  int idx = pts_index(fd);
  if (idx >= 0) log_first_use(fd, idx);
}

static int parse_lines(const char* text) {
  while (isspace((unsigned char)*text)) text++;
  if (isdigit((unsigned char)*text)) return (int)strtol(text, NULL, 0) & INPUT_MASK;
  int lines = 0;
  static const struct {
    const char* word;
    int bit;
  } words[] = {{"CTS", TIOCM_CTS}, {"DSR", TIOCM_DSR}, {"CD", TIOCM_CD}, {"RLSD", TIOCM_CD},
               {"CAR", TIOCM_CD},  {"DCD", TIOCM_CD},  {"RI", TIOCM_RI}, {"RNG", TIOCM_RI}};
  char word[16];
  while (*text) {
    size_t n = 0;
    while (*text && !isspace((unsigned char)*text) && *text != '|' && *text != ',') {
      if (n < sizeof word - 1) word[n++] = *text;
      text++;
    }
    word[n] = '\0';
    for (size_t i = 0; i < sizeof words / sizeof words[0]; i++) {
      if (strcasecmp(word, words[i].word) == 0) lines |= words[i].bit;
    }
    while (*text && (isspace((unsigned char)*text) || *text == '|' || *text == ',')) text++;
  }
  return lines;
}

static int input_lines(void) {
  const char* path = getenv("QUILLET_MODEM_LINES");
  if (!path || !*path) return DEFAULT_INPUT_LINES;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DEFAULT_INPUT_LINES;
  char buf[128];
  ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  buf[n > 0 ? n : 0] = '\0';
  return parse_lines(buf);
}

static unsigned current_output(int idx) {
  unsigned v = __atomic_load_n(&output_lines[idx], __ATOMIC_RELAXED);
  return (v & TOUCHED) ? (v & OUTPUT_MASK) : OUTPUT_MASK;
}

static void store_output(int idx, unsigned lines) {
  __atomic_store_n(&output_lines[idx], TOUCHED | (lines & OUTPUT_MASK), __ATOMIC_RELAXED);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);

  switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCGICOUNT:
    case TIOCGSERIAL:
    case TIOCSSERIAL:
      break;
    default:
      return (int)real_ioctl(fd, request, arg);
  }
  int idx = pts_index(fd);
  if (idx < 0) return (int)real_ioctl(fd, request, arg);
  log_first_use(fd, idx);
  if (!arg && request != TIOCSSERIAL) {
    errno = EFAULT;
    return -1;
  }
  if (hung_up(fd)) {
    errno = EIO;
    return -1;
  }

  switch (request) {
    case TIOCMGET:
      *(int*)arg = input_lines() | (int)current_output(idx);
      return 0;
    case TIOCMSET:
      store_output(idx, (unsigned)*(int*)arg);
      return 0;
    case TIOCMBIS:
      store_output(idx, current_output(idx) | (unsigned)*(int*)arg);
      return 0;
    case TIOCMBIC:
      store_output(idx, current_output(idx) & ~(unsigned)*(int*)arg);
      return 0;
    case TIOCGICOUNT:
      memset(arg, 0, sizeof(struct serial_icounter_struct));
      return 0;
    case TIOCGSERIAL: {
      struct serial_struct* s = arg;
      memset(s, 0, sizeof *s);
      s->type = PORT_16550A;
      s->line = idx;
      s->baud_base = 115200;
      s->xmit_fifo_size = 16;
      s->close_delay = 50;
      s->closing_wait = 3000;
      return 0;
    }
    default: /* TIOCSSERIAL */
      return 0;
  }
}

/* Only watched for the use log; the real calls do the work. */
int tcgetattr(int fd, struct termios* t) {
  static int (*real)(int, struct termios*);
  if (!real) real = (int (*)(int, struct termios*))dlsym(RTLD_NEXT, "tcgetattr");
  note_use(fd);
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  return real(fd, t);
}

int tcsetattr(int fd, int action, const struct termios* t) {
  static int (*real)(int, int, const struct termios*);
  if (!real) real = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
  note_use(fd);
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  return real(fd, action, t);
}
