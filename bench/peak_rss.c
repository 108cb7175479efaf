/* Runs a command a number of times and reports its best wall time and its
 * peak resident memory.
 *
 *   peak_rss RUNS OUTPUT COMMAND [ARG...]
 *
 * Each run forks, points the child's standard input at /dev/null and its
 * standard output at OUTPUT, and execs COMMAND. The wall time of a run is taken
 * from just before the fork to the return of wait4; the peak resident memory
 * comes from the child's rusage. The kernel counts the memory of the process
 * that forked into the child's peak as well, so this program is meant to be
 * linked statically: its own resident size is reported as the floor.
 *
 * Prints one line: best_ns median_ns peak_rss_kib floor_kib
 * Fails (status 1) if any run fails to start or ends with a non-zero status. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static int compare_ns(const void* a, const void* b) {
    long long x = *(const long long*)a;
    long long y = *(const long long*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: peak_rss RUNS OUTPUT COMMAND [ARG...]\n");
        return 2;
    }
    long runs = strtol(argv[1], NULL, 10);
    if (runs < 1 || runs > 100000) {
        fprintf(stderr, "peak_rss: bad run count %s\n", argv[1]);
        return 2;
    }
    long long* times = malloc(sizeof(long long) * (size_t)runs);
    if (times == NULL) return 2;

    long peak_kib = 0;
    for (long r = 0; r < runs; ++r) {
        long long start = now_ns();
        pid_t child = fork();
        if (child < 0) {
            perror("peak_rss: fork");
            return 1;
        }
        if (child == 0) {
            int in = open("/dev/null", O_RDONLY);
            int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0) _exit(126);
            close(in);
            close(out);
            execvp(argv[3], argv + 3);
            _exit(127);
        }
        int status = 0;
        struct rusage usage;
        pid_t done;
        do {
            done = wait4(child, &status, 0, &usage);
        } while (done < 0 && errno == EINTR);
        long long elapsed = now_ns() - start;
        if (done != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "peak_rss: %s failed (status %d)\n", argv[3],
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return 1;
        }
        times[r] = elapsed;
        if (usage.ru_maxrss > peak_kib) peak_kib = usage.ru_maxrss;
    }
    qsort(times, (size_t)runs, sizeof times[0], compare_ns);

    struct rusage self;
    getrusage(RUSAGE_SELF, &self);
    printf("%lld %lld %ld %ld\n", times[0], times[runs / 2], peak_kib, self.ru_maxrss);
    free(times);
    return 0;
}
