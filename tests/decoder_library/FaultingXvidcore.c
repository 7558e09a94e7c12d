/* A stand-in for the XviD library whose decoder faults on every frame: it lets the tests
 * check that a fault inside the library is contained. Instances are real allocations so
 * that create and destroy pair up. */

#include <stdlib.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int xvid_global(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}

/* The fault is the point: sanitizers must not report it first. */
__attribute__((no_sanitize("address", "undefined")))
EXPORT int xvid_decore(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)parameter2;
    if (operation == 0) { /* create: version, width, height, then the instance handle out */
        struct { int version, width, height; void* handle; } *create = parameter1;
        create->handle = malloc(16);
        return 0;
    }
    if (operation == 1) {
        free(handle);
        return 0;
    }
    {
        volatile int* nowhere = (volatile int*)0;
        *nowhere = 1;
    }
    return 0;
}

EXPORT int xvid_encore(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}

EXPORT int xvid_plugin_single(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}

EXPORT int xvid_plugin_2pass1(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}

EXPORT int xvid_plugin_2pass2(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}

EXPORT int xvid_plugin_lumimasking(void* handle, int operation, void* parameter1, void* parameter2)
{
    (void)handle; (void)operation; (void)parameter1; (void)parameter2;
    return 0;
}
