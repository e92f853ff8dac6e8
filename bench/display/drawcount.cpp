// Counts how often anything is drawn on an X display, through the DAMAGE extension on the root
// window: one count each time the screen goes from unchanged to changed, re-armed after each, so
// a window flushing several rectangles at once counts as one draw.
// Usage: drawcount SECONDS. Prints the draws per second; exits 1 without a display or DAMAGE.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

int main(int argc, char *argv[])
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "drawcount: cannot open the display\n");
        return 1;
    }
    const xcb_query_extension_reply_t *damageExtension = xcb_get_extension_data(connection, &xcb_damage_id);
    if (!damageExtension || !damageExtension->present) {
        std::fprintf(stderr, "drawcount: the display has no DAMAGE extension\n");
        return 1;
    }
    std::free(xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_damage_damage_t damage = xcb_generate_id(connection);
    xcb_damage_create(connection, damage, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(connection);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    long draws = 0;
    pollfd display{xcb_get_file_descriptor(connection), POLLIN, 0};
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        poll(&display, 1, int(left) + 1);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == damageExtension->first_event + XCB_DAMAGE_NOTIFY) {
                ++draws;
                xcb_damage_subtract(connection, damage, XCB_NONE, XCB_NONE);
            }
            std::free(event);
        }
        xcb_flush(connection);
        if (xcb_connection_has_error(connection))
            return 1;
    }
    std::printf("%.1f\n", double(draws) / seconds);
    xcb_disconnect(connection);
    return 0;
}
