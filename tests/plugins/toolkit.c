/* The stand-in window toolkit of needs_a_display.c: it needs a display as a real one does. */

#include <stdlib.h>

__attribute__((visibility("default"))) int norvane_test_toolkit_has_display(void)
{
    const char* display = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (display != NULL && *display != '\0') || (wayland != NULL && *wayland != '\0');
}
