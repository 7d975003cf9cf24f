// Asks a window to close the way a window manager's close button does, with a WM_DELETE_WINDOW
// message, since the end-to-end test runs without a window manager. A message the window does
// not take (a wrong id) shows in the test as a window that stays.
// Usage: e2e_close_window <window id>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

static xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, std::strlen(name), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

int main(int argc, char *argv[])
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    xcb_client_message_event_t message{}; // an X event: 32 bytes
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = argc == 2 ? xcb_window_t(std::strtoul(argv[1], nullptr, 0)) : 0;
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW"); // at XCB_CURRENT_TIME, 0
    xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&message));
    // A round trip: once the server answers, it has handled the message.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    const int failed = xcb_connection_has_error(connection) || message.type == XCB_ATOM_NONE;
    xcb_disconnect(connection);
    return failed;
}
