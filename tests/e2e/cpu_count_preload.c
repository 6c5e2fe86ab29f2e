/* LD_PRELOAD library for Linux: makes sysconf report VANTREL_FAKE_CPUS
 * processors (1 to 1024) for _SC_NPROCESSORS_ONLN and _SC_NPROCESSORS_CONF.
 * Wine 8 takes the count GetSystemInfo reports from these, so a program
 * under Wine sees that many processors on a small machine. Every other name,
 * and every name while the variable is unset or not such a number, goes to
 * the real sysconf.
 *
 *   cc -O2 -std=c11 -Wall -Wextra -Werror -shared -fPIC \
 *      -o build/cpu_count_preload.so tests/e2e/cpu_count_preload.c -ldl
 *   VANTREL_FAKE_CPUS=32 LD_PRELOAD=$PWD/build/cpu_count_preload.so wine prog.exe */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { maxFakeCpus = 1024 };

typedef long (*SysconfFunction)(int);

/* The number in VANTREL_FAKE_CPUS, or 0 when it is unset or not a whole
 * number from 1 to maxFakeCpus. Leaves errno as it was: callers of sysconf
 * read it. */
static long fakeCpuCount(void) {
    const char *text = getenv("VANTREL_FAKE_CPUS");
    if (text == NULL || *text == '\0') return 0;
    const int savedErrno = errno;
    errno = 0;
    char *end = NULL;
    const long value = strtol(text, &end, 10);
    const int failed = errno != 0 || *end != '\0';
    errno = savedErrno;
    if (failed || value < 1 || value > maxFakeCpus) return 0;
    return value;
}

long sysconf(int name) {
    if (name == _SC_NPROCESSORS_ONLN || name == _SC_NPROCESSORS_CONF) {
        const long fake = fakeCpuCount();
        if (fake > 0) return fake;
    }
    /* Looked up on every call rather than cached: sysconf is rare, and a
     * cached pointer would be shared between threads without a lock. */
    SysconfFunction real = NULL;
    void *symbol = dlsym(RTLD_NEXT, "sysconf");
    if (symbol == NULL) {
        errno = ENOSYS;
        return -1;
    }
    /* ISO C has no cast from an object pointer to a function pointer. */
    memcpy(&real, &symbol, sizeof real);
    return real(name);
}
