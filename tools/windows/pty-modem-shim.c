/*
 * pty-modem-shim: gives the two ends of a socat pty pair the modem lines of a
 * null-modem cable, so that serial programs that drive RTS and DTR (Wine's
 * COM ports above all) can be tested on pseudo-terminals, which have none.
 *
 * Preload it (LD_PRELOAD) into every process that uses either end:
 *
 *   PANTRIX_SHIM_PAIRS=/tmp/x/A:/tmp/x/B[;/tmp/x/C:/tmp/x/D...]
 *       the pairs, each named by its two socat links (or device paths);
 *   PANTRIX_SHIM_STATE=/tmp/x/state
 *       a file that holds the lines of every end, shared by all processes
 *       (created when missing; every process must name the same pairs in the
 *       same order);
 *   PANTRIX_SHIM_LOG=/tmp/x/log   (optional)
 *       receives one line per RTS or DTR change and per change of the line
 *       settings: "<end> RTS high", "<end> DTR low", "<end> line 300 8N2".
 *
 * On a descriptor of a listed end it answers TIOCMGET, TIOCMSET, TIOCMBIS,
 * TIOCMBIC, TIOCMIWAIT and TIOCGICOUNT: RTS of one end is CTS of the other,
 * DTR is DSR and DCD of the other. Every other descriptor and request goes to
 * the system unchanged. A pair whose pseudo-terminals are replaced (a fresh
 * socat) starts again with all lines low.
 *
 * Build: gcc -shared -fPIC -O2 -o pty-modem-shim.so pty-modem-shim.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define MAX_PAIRS 16
#define MAX_PATH_LEN 512
#define OUTPUT_LINES (TIOCM_RTS | TIOCM_DTR)

/* One pair in the shared file. Every field is touched with atomic builtins,
 * as several processes (Wine's threads among them) use it at once. */
struct shared_pair
{
    uint64_t rdev[2];       /* the pseudo-terminals these lines belong to */
    uint32_t out[2];        /* RTS and DTR as each end set them */
    uint32_t changes[2][3]; /* CTS, DSR, DCD changes each end has seen */
    uint32_t generation;    /* bumped on every change, for waiters */
};

struct shared_state
{
    uint32_t magic;
    uint32_t pair_count;
    struct shared_pair pairs[MAX_PAIRS];
};

#define STATE_MAGIC 0x50534d31u /* "PSM1" */

static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_tcsetattr)(int, int, const struct termios *);

static pthread_once_t init_once = PTHREAD_ONCE_INIT;
static struct shared_state *state;
static int pair_count;
static char pair_paths[MAX_PAIRS][2][MAX_PATH_LEN];
static int log_fd = -1;

static void shim_init(void)
{
    real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    real_tcsetattr = (int (*)(int, int, const struct termios *))dlsym(RTLD_NEXT, "tcsetattr");

    const char *pairs = getenv("PANTRIX_SHIM_PAIRS");
    const char *state_path = getenv("PANTRIX_SHIM_STATE");
    const char *log_path = getenv("PANTRIX_SHIM_LOG");
    if (log_path && *log_path)
        log_fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (!pairs || !*pairs || !state_path || !*state_path)
        return;

    /* "A:B;C:D": a pair per ';', its ends split at the first ':'. */
    const char *p = pairs;
    while (*p && pair_count < MAX_PAIRS) {
        const char *end = strchr(p, ';');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        const char *colon = memchr(p, ':', len);
        if (colon && colon > p && (size_t)(colon - p) < MAX_PATH_LEN &&
            len - (size_t)(colon - p) - 1 < MAX_PATH_LEN) {
            memcpy(pair_paths[pair_count][0], p, (size_t)(colon - p));
            memcpy(pair_paths[pair_count][1], colon + 1, len - (size_t)(colon - p) - 1);
            pair_count++;
        }
        if (!end)
            break;
        p = end + 1;
    }

    int fd = open(state_path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size < (off_t)sizeof(struct shared_state) &&
        ftruncate(fd, sizeof(struct shared_state)) != 0) {
        close(fd);
        return;
    }
    void *map = mmap(NULL, sizeof(struct shared_state), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map != MAP_FAILED)
        state = map;
}

static void ensure_init(void)
{
    pthread_once(&init_once, shim_init);
}

static void log_line(const char *format, ...)
{
    if (log_fd < 0)
        return;
    char line[MAX_PATH_LEN + 64];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > (int)sizeof line - 2)
        n = (int)sizeof line - 2;
    line[n++] = '\n';
    /* One write per line: O_APPEND keeps lines of several processes whole. */
    ssize_t written = write(log_fd, line, (size_t)n);
    (void)written;
}

/* Which listed end the descriptor is, or -1. Links are looked up on every
 * call, so a pair that socat makes anew is found again. */
static int find_end(int fd, int *side)
{
    if (!state || pair_count == 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return -1;
    for (int i = 0; i < pair_count; i++) {
        for (int s = 0; s < 2; s++) {
            struct stat end_st;
            if (stat(pair_paths[i][s], &end_st) == 0 && S_ISCHR(end_st.st_mode) &&
                end_st.st_rdev == st.st_rdev) {
                *side = s;
                return i;
            }
        }
    }
    return -1;
}

/* A pair made anew (other pseudo-terminals behind its links) starts with all
 * lines low, as a freshly plugged cable. */
static struct shared_pair *pair_for(int index)
{
    struct shared_pair *pair = &state->pairs[index];
    uint64_t now[2] = {0, 0};
    for (int s = 0; s < 2; s++) {
        struct stat st;
        if (stat(pair_paths[index][s], &st) == 0)
            now[s] = st.st_rdev;
    }
    uint64_t seen0 = __atomic_load_n(&pair->rdev[0], __ATOMIC_ACQUIRE);
    uint64_t seen1 = __atomic_load_n(&pair->rdev[1], __ATOMIC_ACQUIRE);
    if ((now[0] && now[0] != seen0) || (now[1] && now[1] != seen1)) {
        if (__atomic_compare_exchange_n(&pair->rdev[0], &seen0, now[0], 0, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            __atomic_store_n(&pair->rdev[1], now[1], __ATOMIC_RELEASE);
            for (int s = 0; s < 2; s++) {
                __atomic_store_n(&pair->out[s], 0, __ATOMIC_RELEASE);
                for (int c = 0; c < 3; c++)
                    __atomic_store_n(&pair->changes[s][c], 0, __ATOMIC_RELEASE);
            }
            __atomic_add_fetch(&pair->generation, 1, __ATOMIC_ACQ_REL);
        }
    }
    return pair;
}

/* The lines as the end sees them: its own RTS and DTR, and the other end's as
 * CTS, DSR and DCD. */
static int modem_bits(struct shared_pair *pair, int side)
{
    uint32_t own = __atomic_load_n(&pair->out[side], __ATOMIC_ACQUIRE);
    uint32_t other = __atomic_load_n(&pair->out[1 - side], __ATOMIC_ACQUIRE);
    int bits = (int)(own & OUTPUT_LINES);
    if (other & TIOCM_RTS)
        bits |= TIOCM_CTS;
    if (other & TIOCM_DTR)
        bits |= TIOCM_DSR | TIOCM_CD;
    return bits;
}

static void set_output(int index, int side, uint32_t wanted)
{
    struct shared_pair *pair = pair_for(index);
    wanted &= OUTPUT_LINES;
    uint32_t before = __atomic_exchange_n(&pair->out[side], wanted, __ATOMIC_ACQ_REL);
    uint32_t changed = before ^ wanted;
    if (!changed)
        return;
    if (changed & TIOCM_RTS) {
        __atomic_add_fetch(&pair->changes[1 - side][0], 1, __ATOMIC_ACQ_REL);
        log_line("%s RTS %s", pair_paths[index][side], (wanted & TIOCM_RTS) ? "high" : "low");
    }
    if (changed & TIOCM_DTR) {
        __atomic_add_fetch(&pair->changes[1 - side][1], 1, __ATOMIC_ACQ_REL);
        __atomic_add_fetch(&pair->changes[1 - side][2], 1, __ATOMIC_ACQ_REL);
        log_line("%s DTR %s", pair_paths[index][side], (wanted & TIOCM_DTR) ? "high" : "low");
    }
    __atomic_add_fetch(&pair->generation, 1, __ATOMIC_ACQ_REL);
}

/* Waits until one of the input lines in `mask` changes, as the driver's
 * TIOCMIWAIT does: a signal ends it with EINTR, a hung-up line with EIO. */
static int wait_for_change(int fd, int index, int side, unsigned long mask)
{
    struct shared_pair *pair = pair_for(index);
    int start = modem_bits(pair, side);
    uint32_t start_changes[3];
    for (int c = 0; c < 3; c++)
        start_changes[c] = __atomic_load_n(&pair->changes[side][c], __ATOMIC_ACQUIRE);
    const int watched[3] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD};
    for (;;) {
        /* Also a pulse that went up and down again between two looks counts. */
        for (int c = 0; c < 3; c++)
            if ((mask & (unsigned long)watched[c]) &&
                __atomic_load_n(&pair->changes[side][c], __ATOMIC_ACQUIRE) != start_changes[c])
                return 0;
        if ((modem_bits(pair, side) ^ start) & (int)mask)
            return 0;
        struct pollfd pfd = {.fd = fd, .events = 0};
        if (poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLNVAL | POLLERR))) {
            errno = EIO;
            return -1;
        }
        struct timespec pause = {0, 2 * 1000 * 1000};
        if (nanosleep(&pause, NULL) != 0 && errno == EINTR)
            return -1;
        pair = pair_for(index);
    }
}

static int fill_icount(int index, int side, struct serial_icounter_struct *counts)
{
    struct shared_pair *pair = pair_for(index);
    memset(counts, 0, sizeof *counts);
    counts->cts = (int)__atomic_load_n(&pair->changes[side][0], __ATOMIC_ACQUIRE);
    counts->dsr = (int)__atomic_load_n(&pair->changes[side][1], __ATOMIC_ACQUIRE);
    counts->dcd = (int)__atomic_load_n(&pair->changes[side][2], __ATOMIC_ACQUIRE);
    return 0;
}

static const char *parity_text(tcflag_t cflag)
{
    if (!(cflag & PARENB))
        return "N";
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? "M" : "S";
    return (cflag & PARODD) ? "O" : "E";
}

static unsigned baud_of(speed_t speed)
{
    static const struct
    {
        speed_t code;
        unsigned baud;
    } table[] = {{B0, 0},         {B50, 50},         {B75, 75},         {B110, 110},
                 {B134, 134},     {B150, 150},       {B200, 200},       {B300, 300},
                 {B600, 600},     {B1200, 1200},     {B1800, 1800},     {B2400, 2400},
                 {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                 {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}};
    for (size_t i = 0; i < sizeof table / sizeof table[0]; i++)
        if (table[i].code == speed)
            return table[i].baud;
    return (unsigned)speed;
}

static int data_bits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

static int line_differs(const struct termios *a, const struct termios *b)
{
    const tcflag_t bits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    return cfgetospeed(a) != cfgetospeed(b) || (a->c_cflag & bits) != (b->c_cflag & bits);
}

/* Logs the line settings of a listed end when they change. */
static void note_line(int fd, const struct termios *before, const struct termios *after)
{
    int side;
    int index = find_end(fd, &side);
    if (index < 0 || !line_differs(before, after))
        return;
    log_line("%s line %u %d%s%s", pair_paths[index][side], baud_of(cfgetospeed(after)),
             data_bits(after->c_cflag), parity_text(after->c_cflag),
             (after->c_cflag & CSTOPB) ? "2" : "1");
}

int tcsetattr(int fd, int actions, const struct termios *settings)
{
    ensure_init();
    struct termios before;
    int had_before = tcgetattr(fd, &before) == 0;
    int result = real_tcsetattr(fd, actions, settings);
    struct termios after;
    if (result == 0 && had_before && tcgetattr(fd, &after) == 0)
        note_line(fd, &before, &after);
    return result;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    ensure_init();

    int side = 0;
    int index = -1;
    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMIWAIT:
    case TIOCGICOUNT:
        index = find_end(fd, &side);
        break;
    case TCSETS:
    case TCSETSW:
    case TCSETSF: {
        /* A caller that sets the line with the ioctl itself, not tcsetattr. */
        struct termios before;
        int had_before = tcgetattr(fd, &before) == 0;
        int result = real_ioctl(fd, request, arg);
        struct termios after;
        if (result == 0 && had_before && tcgetattr(fd, &after) == 0)
            note_line(fd, &before, &after);
        return result;
    }
    default:
        break;
    }
    if (index < 0)
        return real_ioctl(fd, request, arg);

    struct shared_pair *pair = pair_for(index);
    switch (request) {
    case TIOCMGET:
        *(int *)arg = modem_bits(pair, side);
        return 0;
    case TIOCMSET:
        set_output(index, side, (uint32_t) * (const int *)arg);
        return 0;
    case TIOCMBIS:
        set_output(index, side,
                   __atomic_load_n(&pair->out[side], __ATOMIC_ACQUIRE) |
                       (uint32_t) * (const int *)arg);
        return 0;
    case TIOCMBIC:
        set_output(index, side,
                   __atomic_load_n(&pair->out[side], __ATOMIC_ACQUIRE) &
                       ~(uint32_t) * (const int *)arg);
        return 0;
    case TIOCMIWAIT:
        return wait_for_change(fd, index, side, (unsigned long)arg);
    case TIOCGICOUNT:
        return fill_icount(index, side, arg);
    default:
        return real_ioctl(fd, request, arg);
    }
}
