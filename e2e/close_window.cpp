// Asks a window to close the way a window manager's close button does, with a WM_DELETE_WINDOW
// message, since the end-to-end test runs without a window manager.
// Usage: e2e_close_window <window id>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply) {
        std::fprintf(stderr, "e2e_close_window: no atom %s\n", name);
        std::exit(1);
    }
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    char *end = nullptr;
    const unsigned long window = argc == 2 ? std::strtoul(argv[1], &end, 0) : 0;
    if (argc != 2 || *end != '\0' || window == 0) {
        std::fprintf(stderr, "Usage: e2e_close_window <window id>\n");
        return 2;
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "e2e_close_window: cannot open the display\n");
        return 1;
    }

    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    char event[32] = {};
    static_assert(sizeof message == sizeof event);
    std::memcpy(event, &message, sizeof event);
    const auto cookie =
        xcb_send_event_checked(connection, 0, xcb_window_t(window), XCB_EVENT_MASK_NO_EVENT, event);
    xcb_generic_error_t *error = xcb_request_check(connection, cookie);
    const bool sent = error == nullptr;
    if (!sent)
        std::fprintf(stderr, "e2e_close_window: window %lu: X error %d\n", window,
                     error->error_code);
    std::free(error);
    xcb_disconnect(connection);
    return sent ? 0 : 1;
}
