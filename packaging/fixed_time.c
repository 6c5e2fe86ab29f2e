/* GLib's clock as the package's build sees it: wixl writes the time it
   reads here into the package (created, last saved), so that two builds of
   one commit are the same bytes. The time is SOURCE_DATE_EPOCH, in seconds,
   as reproducible builds everywhere take it. Loaded with LD_PRELOAD by
   scripts/build-msi.sh. */
#include <stdint.h>
#include <stdlib.h>

int64_t g_get_real_time(void);

int64_t g_get_real_time(void) {
    const char *epoch = getenv("SOURCE_DATE_EPOCH");
    return (epoch != NULL ? strtoll(epoch, NULL, 10) : 0) * 1000000;
}
