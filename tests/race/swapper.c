/* Helper of link-races.sh; runs inside its chroot.
 *
 *   swapper swap COUNT MAX_SLEEP_US SEED [--start-on-temp FOLDER] DIR...
 *     COUNT times: picks one DIR, exchanges it atomically with the link DIR's parent holds
 *     as ".NAME-link", sleeps up to MAX_SLEEP_US, exchanges them back, sleeps again. Every
 *     DIR is a real folder again at the end, also when stopped by SIGTERM or SIGINT. Prints
 *     the number of swaps done. With --start-on-temp, waits (20 s at most) until a run
 *     creates a temporary file ".tabulo-*" in FOLDER: the run is writing there and then.
 *
 *   swapper touch ROUND DIR...
 *     Writes "note-ROUND" into each DIR and touches "stamp". The path is opened one part at a
 *     time without following links, so a folder that is swapped out at that moment is
 *     skipped, never written through the link. Prints the folders changed.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t stopping;

static void on_stop(int sig) {
    (void)sig;
    stopping = 1;
}

static uint64_t rng_state;

static uint64_t next_random(void) {
    /* xorshift64*: the same SEED picks the same folders in the same order. */
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return rng_state * 2685821657736338717ULL;
}

static void pause_up_to(long max_us) {
    if (max_us <= 0) return;
    long us = (long)(next_random() % (uint64_t)(max_us + 1));
    struct timespec ts = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR && !stopping) {
    }
}

static char* link_beside(const char* dir) {
    const char* slash = strrchr(dir, '/');
    size_t head = slash ? (size_t)(slash - dir + 1) : 0;
    const char* name = dir + head;
    char* out = malloc(strlen(dir) + 8);
    if (!out) exit(2);
    sprintf(out, "%.*s.%s-link", (int)head, dir, name);
    return out;
}

static int exchange(const char* a, const char* b) {
    if (renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0) return 0;
    fprintf(stderr, "swapper: exchanging %s and %s: %s\n", a, b, strerror(errno));
    return -1;
}

/* Whether a run created a temporary file in `folder` within 20 seconds. */
static int wait_for_temporary(const char* folder) {
    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, folder, IN_CREATE | IN_ONLYDIR | IN_DONT_FOLLOW) < 0) {
        fprintf(stderr, "swapper: watching %s: %s\n", folder, strerror(errno));
        return 0;
    }
    struct pollfd p = {fd, POLLIN, 0};
    int found = 0;
    while (!found && !stopping && poll(&p, 1, 20000) > 0) {
        _Alignas(struct inotify_event) char buf[4096];
        ssize_t size = read(fd, buf, sizeof buf);
        for (ssize_t at = 0; at < size;) {
            const struct inotify_event* e = (const struct inotify_event*)(buf + at);
            if (e->len > 0 && strncmp(e->name, ".tabulo-", 8) == 0) found = 1;
            at += (ssize_t)(sizeof *e + e->len);
        }
    }
    close(fd);
    return found;
}

static int swap_main(int argc, char** argv) {
    if (argc < 4) return 2;
    long count = atol(argv[0]), max_us = atol(argv[1]);
    rng_state = strtoull(argv[2], NULL, 10) | 1;
    const char* start_on = NULL;
    argc -= 3;
    argv += 3;
    if (argc >= 3 && strcmp(argv[0], "--start-on-temp") == 0) {
        start_on = argv[1];
        argc -= 2;
        argv += 2;
    }
    int n = argc;
    char** dirs = argv;
    char** links = calloc((size_t)n, sizeof *links);
    if (!links) return 2;
    for (int i = 0; i < n; ++i) {
        struct stat d, l;
        links[i] = link_beside(dirs[i]);
        if (lstat(dirs[i], &d) != 0 || !S_ISDIR(d.st_mode) || lstat(links[i], &l) != 0 ||
            !S_ISLNK(l.st_mode)) {
            fprintf(stderr, "swapper: %s must be a folder and %s a link\n", dirs[i], links[i]);
            return 2;
        }
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    long done = 0;
    int status = 0;
    if (start_on && !wait_for_temporary(start_on)) {
        fprintf(stderr, "swapper: no run wrote into %s\n", start_on);
        count = 0;
        status = 3;
    }
    while (done < count && !stopping) {
        int i = (int)(next_random() % (uint64_t)n);
        if (exchange(dirs[i], links[i]) != 0) {
            status = 1;
            break;
        }
        pause_up_to(max_us);
        /* Back at once even when stopping: the folder must end where it was. */
        if (exchange(dirs[i], links[i]) != 0) {
            status = 1;
            break;
        }
        ++done;
        pause_up_to(max_us);
    }
    printf("%ld\n", done);
    return status;
}

/* The folder DIR names, reached without following any link; -1 if a part is a link. */
static int open_no_links(const char* dir) {
    int fd = open(dir[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    char* copy = strdup(dir);
    if (!copy) exit(2);
    for (char* part = strtok(copy, "/"); part && fd >= 0; part = strtok(NULL, "/")) {
        int next = openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    free(copy);
    return fd;
}

static int touch_main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* round = argv[0];
    char note[64];
    snprintf(note, sizeof note, "note-%s", round);
    long changed = 0;
    for (int i = 1; i < argc; ++i) {
        int fd = open_no_links(argv[i]);
        if (fd < 0) continue;
        int f = openat(fd, note, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (f >= 0) {
            if (write(f, round, strlen(round)) < 0) perror("swapper: write");
            close(f);
        }
        int s = openat(fd, "stamp", O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (s >= 0) {
            futimens(s, NULL);
            close(s);
        }
        if (f >= 0 && s >= 0) ++changed;
        close(fd);
    }
    printf("%ld\n", changed);
    return 0;
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc >= 2 && strcmp(argv[1], "swap") == 0) return swap_main(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "touch") == 0) return touch_main(argc - 2, argv + 2);
    fprintf(stderr,
            "usage: swapper swap COUNT MAX_SLEEP_US SEED DIR...\n"
            "       swapper touch ROUND DIR...\n");
    return 2;
}
