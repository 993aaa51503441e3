/*
 * ptypair: a virtual null-modem cable for tests.
 *
 *   ptypair [--control FIFO] LINK1 LINK2
 *
 * Opens two pseudo-terminals in raw mode, relays bytes between their masters
 * in both directions and symlinks the two slave ends to LINK1 and LINK2 (for
 * instance $WINEPREFIX/dosdevices/com7 and com8). Prints "ready" once both
 * links exist, then runs until SIGTERM/SIGINT/SIGHUP, which remove the links.
 *
 * Unplugging a device: SIGUSR1 (or the command "unplug 2") closes the second
 * side, so its users see the line go dead and LINK2 disappears; SIGUSR2 (or
 * "plug 2") brings it back on a fresh pseudo-terminal. "unplug 1"/"plug 1"
 * do the same to the first side. Commands are lines read from stdin when it
 * is a pipe or terminal, and from FIFO with --control (created if missing),
 * so a Windows test under Wine can write them through Z:\.
 *
 * Nothing is lost in transit: a direction whose receiver is not reading stops
 * reading from its sender instead of dropping bytes.
 *
 * Counting and scanning, for finding where bytes go under load:
 *   "counts"        writes what went through so far to FIFO.counts (with
 *                   --control): bytes read from each side's master, bytes
 *                   written to each, and the scanner's figures;
 *   "scan N S [M]"  a scanner on the far side of side 1, outside Wine: every
 *                   M ms (default 200) for S seconds a code "PN-<6 digits>-
 *                   ABCDEFGHIJ" cut to 20 characters, then CR, a byte a
 *                   millisecond, straight into side 1's pseudo-terminal.
 *                   While side 1 is unplugged the device is gone: a scan
 *                   whose time comes then is not sent ("missed" in the
 *                   counts), and one in the middle of its bytes when the
 *                   side goes is cut off ("cut"); numbering goes on.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define BUF_SIZE 65536

struct side {
  const char* link;
  int master; /* -1 while unplugged */
  int slave;  /* kept open so the master never reads EIO when nobody else has it open */
  char slave_name[64];
};

/* Bytes read from one master waiting to be written to the other. */
struct pipebuf {
  unsigned char data[BUF_SIZE];
  size_t start, len;
};

static struct side sides[2];
static struct pipebuf to_side[2]; /* to_side[i]: bytes heading for sides[i] */
static long long read_from[2];    /* bytes read from sides[i]'s master */
static long long written_to[2];   /* bytes written to sides[i]'s master */
static const char* control_path;

/* The scanner of "scan": bytes heading for side 1, one a millisecond. */
static struct {
  int on, port;
  long n, interval_ms;
  long long end_ms, next_byte_ms, next_scan_ms;
  char code[32];
  size_t pos, len;
  long long bytes;
  long scans, missed, cut;
} scanner;

static long long now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Puts the scanner's next byte on its way when its time has come; returns
 * the milliseconds until the next one, or -1 when it does not run. */
static int scan_step(void) {
  if (!scanner.on) return -1;
  long long now = now_ms();
  if (scanner.pos == scanner.len) {
    if (now >= scanner.end_ms) {
      scanner.on = 0;
      return -1;
    }
    if (now < scanner.next_scan_ms) return (int)(scanner.next_scan_ms - now);
    if (sides[0].master < 0) {
      scanner.n++;
      scanner.missed++;
      scanner.next_scan_ms += scanner.interval_ms;
      return 0;
    }
    char text[64];
    snprintf(text, sizeof text, "P%d-%06ld-ABCDEFGHIJ", scanner.port, scanner.n % 1000000);
    text[20] = '\0';
    scanner.len = (size_t)snprintf(scanner.code, sizeof scanner.code, "%s\r", text);
    scanner.pos = 0;
    scanner.n++;
    scanner.next_byte_ms = now;
    scanner.next_scan_ms += scanner.interval_ms;
  }
  if (now < scanner.next_byte_ms) return (int)(scanner.next_byte_ms - now);
  struct pipebuf* b = &to_side[0];
  if (b->start + b->len >= BUF_SIZE) return 1;
  b->data[b->start + b->len++] = (unsigned char)scanner.code[scanner.pos++];
  scanner.bytes++;
  if (scanner.pos == scanner.len) scanner.scans++;
  scanner.next_byte_ms = now + 1;
  return scanner.pos == scanner.len ? 0 : 1;
}

static void write_counts(void) {
  if (!control_path) return;
  char path[PATH_MAX], tmp[PATH_MAX + 8];
  snprintf(path, sizeof path, "%s.counts", control_path);
  snprintf(tmp, sizeof tmp, "%s.tmp", path);
  FILE* f = fopen(tmp, "w");
  if (!f) return;
  fprintf(f,
          "read1 %lld read2 %lld written1 %lld written2 %lld scanned %lld scans %ld scanning %d "
          "missed %ld cut %ld\n",
          read_from[0], read_from[1], written_to[0], written_to[1], scanner.bytes, scanner.scans,
          scanner.on, scanner.missed, scanner.cut);
  fclose(f);
  rename(tmp, path);
}

static void die(const char* what) {
  fprintf(stderr, "ptypair: %s: %s\n", what, strerror(errno));
  exit(1);
}

static int set_raw(int fd) {
  struct termios t;
  if (tcgetattr(fd, &t) != 0) return -1;
  cfmakeraw(&t);
  return tcsetattr(fd, TCSANOW, &t);
}

/* Points s->link at the slave, replacing a stale link atomically. */
static int make_link(struct side* s) {
  char tmp[PATH_MAX];
  snprintf(tmp, sizeof tmp, "%s.ptypair-%d", s->link, (int)getpid());
  unlink(tmp);
  if (symlink(s->slave_name, tmp) != 0) return -1;
  struct stat st;
  if (lstat(s->link, &st) == 0 && !S_ISLNK(st.st_mode)) {
    unlink(tmp);
    errno = EEXIST; /* never replace a real file */
    return -1;
  }
  if (rename(tmp, s->link) != 0) {
    unlink(tmp);
    return -1;
  }
  return 0;
}

/* Removes the link only while it still points at our slave. */
static void remove_link(const struct side* s) {
  char target[PATH_MAX];
  ssize_t n = readlink(s->link, target, sizeof target - 1);
  if (n < 0) return;
  target[n] = '\0';
  if (strcmp(target, s->slave_name) == 0) unlink(s->link);
}

static int plug(int i) {
  struct side* s = &sides[i];
  if (s->master >= 0) return 0;
  int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) goto fail;
  const char* name = ptsname(m);
  if (!name) goto fail;
  snprintf(s->slave_name, sizeof s->slave_name, "%s", name);
  int sl = open(s->slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (sl < 0) goto fail;
  if (set_raw(sl) != 0 || set_raw(m) != 0) {
    close(sl);
    goto fail;
  }
  fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
  s->master = m;
  s->slave = sl;
  to_side[i].start = to_side[i].len = 0;
  if (make_link(s) != 0) {
    fprintf(stderr, "ptypair: cannot link %s: %s\n", s->link, strerror(errno));
    return -1;
  }
  return 0;
fail:
  if (m >= 0) close(m);
  return -1;
}

static void unplug(int i) {
  struct side* s = &sides[i];
  if (s->master < 0) return;
  remove_link(s);
  close(s->master);
  close(s->slave);
  s->master = s->slave = -1;
  if (i == 0 && scanner.pos < scanner.len) {
    scanner.cut++;
    scanner.pos = scanner.len;
  }
  /* What was on its way to the unplugged device is gone with it; what it
   * sent before still arrives at the other end. */
  to_side[i].start = to_side[i].len = 0;
}

static void cleanup(void) {
  write_counts();
  for (int i = 0; i < 2; i++) {
    if (sides[i].master >= 0) remove_link(&sides[i]);
  }
}

static void run_command(char* line) {
  int n = 0;
  char verb[16] = "";
  if (sscanf(line, "%15s %d", verb, &n) < 1) return;
  if (n != 1 && n != 2) n = 2;
  if (strcmp(verb, "unplug") == 0) {
    unplug(n - 1);
  } else if (strcmp(verb, "plug") == 0) {
    if (plug(n - 1) != 0) fprintf(stderr, "ptypair: cannot plug side %d\n", n);
  } else if (strcmp(verb, "counts") == 0) {
    write_counts();
  } else if (strcmp(verb, "scan") == 0) {
    long seconds = 0, interval = 200;
    int port = 0;
    if (sscanf(line, "%15s %d %ld %ld", verb, &port, &seconds, &interval) < 3 || interval < 1) {
      fprintf(stderr, "ptypair: usage: scan PORT SECONDS [INTERVAL_MS]\n");
      return;
    }
    scanner.on = 1;
    scanner.port = port;
    scanner.n = 0;
    scanner.interval_ms = interval;
    scanner.next_scan_ms = now_ms();
    scanner.end_ms = scanner.next_scan_ms + seconds * 1000;
    scanner.pos = scanner.len = 0;
  } else if (strcmp(verb, "quit") == 0) {
    cleanup();
    exit(0);
  } else {
    fprintf(stderr, "ptypair: unknown command: %s\n", verb);
  }
}

/* Reads whatever is available on a command descriptor and runs complete lines. */
struct cmdsrc {
  int fd;
  char buf[256];
  size_t len;
};

static int read_commands(struct cmdsrc* c) {
  ssize_t n = read(c->fd, c->buf + c->len, sizeof c->buf - 1 - c->len);
  if (n <= 0) return n == 0 ? 0 : (errno == EAGAIN || errno == EINTR ? 1 : 0);
  c->len += (size_t)n;
  char* nl;
  while ((nl = memchr(c->buf, '\n', c->len)) != NULL) {
    *nl = '\0';
    run_command(c->buf);
    size_t used = (size_t)(nl - c->buf) + 1;
    memmove(c->buf, nl + 1, c->len - used);
    c->len -= used;
  }
  if (c->len == sizeof c->buf - 1) c->len = 0; /* overlong garbage */
  return 1;
}

/* Moves bytes from side `from` into the buffer heading for the other side. */
static void pump_in(int from) {
  struct pipebuf* b = &to_side[1 - from];
  if (b->start > 0 && b->len > 0) memmove(b->data, b->data + b->start, b->len);
  b->start = 0;
  size_t room = BUF_SIZE - b->len;
  if (room == 0) return;
  ssize_t n = read(sides[from].master, b->data + b->len, room);
  if (n > 0) {
    b->len += (size_t)n;
    read_from[from] += n;
  }
}

static void pump_out(int to) {
  struct pipebuf* b = &to_side[to];
  if (b->len == 0) return;
  ssize_t n = write(sides[to].master, b->data + b->start, b->len);
  if (n > 0) {
    written_to[to] += n;
    b->start += (size_t)n;
    b->len -= (size_t)n;
    if (b->len == 0) b->start = 0;
  }
}

static void usage(void) {
  fprintf(stderr, "usage: ptypair [--control FIFO] LINK1 LINK2\n");
  exit(2);
}

int main(int argc, char** argv) {
  const char* control = NULL;
  int argi = 1;
  if (argi < argc && strcmp(argv[argi], "--control") == 0) {
    if (argi + 1 >= argc) usage();
    control = argv[argi + 1];
    argi += 2;
  }
  if (argc - argi != 2) usage();
  control_path = control;
  sides[0] = (struct side){argv[argi], -1, -1, ""};
  sides[1] = (struct side){argv[argi + 1], -1, -1, ""};

  /* A harness killed by a timeout must not leave dangling COM links behind. */
  prctl(PR_SET_PDEATHSIG, SIGTERM);

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  sigaddset(&mask, SIGUSR1);
  sigaddset(&mask, SIGUSR2);
  sigaddset(&mask, SIGPIPE);
  if (sigprocmask(SIG_BLOCK, &mask, NULL) != 0) die("sigprocmask");
  int sfd = signalfd(-1, &mask, SFD_CLOEXEC);
  if (sfd < 0) die("signalfd");

  for (int i = 0; i < 2; i++) {
    if (plug(i) != 0) {
      cleanup();
      fprintf(stderr, "ptypair: cannot create side %d\n", i + 1);
      return 1;
    }
  }

  struct cmdsrc cmds[2] = {{-1, "", 0}, {-1, "", 0}};
  struct stat st;
  if (fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || isatty(STDIN_FILENO))) {
    cmds[0].fd = STDIN_FILENO;
  }
  if (control) {
    if (mkfifo(control, 0666) != 0 && errno != EEXIST) die("mkfifo");
    /* Opened read-write so that writers coming and going never give us EOF. */
    cmds[1].fd = open(control, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (cmds[1].fd < 0) die("open control");
  }

  printf("ready\n");
  fflush(stdout);

  for (;;) {
    struct pollfd p[7];
    int n = 0;
    int idx_master[2] = {-1, -1};
    p[n++] = (struct pollfd){sfd, POLLIN, 0};
    for (int i = 0; i < 2; i++) {
      if (sides[i].master < 0) continue;
      short ev = 0;
      /* Read only when the other side is plugged and has room. */
      if (sides[1 - i].master >= 0 && to_side[1 - i].len < BUF_SIZE) ev |= POLLIN;
      if (to_side[i].len > 0) ev |= POLLOUT;
      idx_master[i] = n;
      p[n++] = (struct pollfd){sides[i].master, ev, 0};
    }
    int idx_cmd[2] = {-1, -1};
    for (int i = 0; i < 2; i++) {
      if (cmds[i].fd < 0) continue;
      idx_cmd[i] = n;
      p[n++] = (struct pollfd){cmds[i].fd, POLLIN, 0};
    }
    int timeout = scan_step();
    if (to_side[0].len > 0 && sides[0].master >= 0 && idx_master[0] >= 0)
      p[idx_master[0]].events |= POLLOUT;
    if (poll(p, (nfds_t)n, timeout) < 0) {
      if (errno == EINTR) continue;
      die("poll");
    }

    if (p[0].revents & POLLIN) {
      struct signalfd_siginfo si;
      if (read(sfd, &si, sizeof si) == (ssize_t)sizeof si) {
        if (si.ssi_signo == SIGUSR1) {
          unplug(1);
        } else if (si.ssi_signo == SIGUSR2) {
          if (plug(1) != 0) fprintf(stderr, "ptypair: cannot plug side 2\n");
        } else if (si.ssi_signo != SIGPIPE) {
          cleanup();
          return 0;
        }
      }
      continue; /* descriptors may have changed */
    }
    for (int i = 0; i < 2; i++) {
      if (idx_master[i] < 0) continue;
      short re = p[idx_master[i]].revents;
      if (re & POLLOUT) pump_out(i);
      if (re & POLLIN) pump_in(i);
    }
    for (int i = 0; i < 2; i++) {
      if (idx_cmd[i] < 0 || !(p[idx_cmd[i]].revents & (POLLIN | POLLHUP))) continue;
      if (!read_commands(&cmds[i])) cmds[i].fd = -1; /* stdin closed: keep relaying */
    }
  }
}
