#include "platform/x11_window_search.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if QUILLON_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform {

#if QUILLON_HAVE_XCB

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property's bytes; at most `limit` 32-bit units are asked for.
std::vector<uint8_t> Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                              uint32_t limit)
{
    if (property == XCB_ATOM_NONE)
        return {};
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, limit), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    return length > 0 ? std::vector<uint8_t>(bytes, bytes + length) : std::vector<uint8_t>();
}

std::vector<xcb_window_t> Windows(const std::vector<uint8_t>& bytes)
{
    std::vector<xcb_window_t> out(bytes.size() / sizeof(xcb_window_t));
    if (!out.empty())
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(xcb_window_t));
    return out;
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t window)
{
    Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!reply)
        return {};
    const xcb_window_t* first = xcb_query_tree_children(reply.get());
    return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(reply.get()));
}

struct Atoms {
    xcb_atom_t netWmName, utf8, clientList, activeWindow;
};

bool TitleIs(xcb_connection_t* c, const Atoms& atoms, xcb_window_t window, const std::string& title)
{
    // Titles longer than this can't be the one we look for.
    const uint32_t units = static_cast<uint32_t>(title.size() / 4 + 2);
    auto name = Property(c, window, atoms.netWmName, atoms.utf8, units);
    if (name.empty())
        name = Property(c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, units);
    return name.size() == title.size() && std::memcmp(name.data(), title.data(), title.size()) == 0;
}

// Top-level windows: the window manager's client list when there is one,
// otherwise the root's children and, under a reparenting manager without
// that list, their children.
std::vector<xcb_window_t> TopLevels(xcb_connection_t* c, const Atoms& atoms, xcb_window_t root)
{
    auto listed = Windows(Property(c, root, atoms.clientList, XCB_ATOM_WINDOW, 65536));
    if (!listed.empty())
        return listed;
    std::vector<xcb_window_t> all = Children(c, root);
    const std::size_t direct = all.size();
    for (std::size_t i = 0; i < direct; ++i)
        for (xcb_window_t child : Children(c, all[i]))
            all.push_back(child);
    return all;
}

void Activate(xcb_connection_t* c, const Atoms& atoms, xcb_window_t root, xcb_window_t window)
{
    // Mapping an iconic window restores it; the manager, if any, is asked to
    // activate it; without one, raising and focusing is all there is.
    xcb_map_window(c, window);
    if (atoms.activeWindow != XCB_ATOM_NONE) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atoms.activeWindow;
        message.data.data32[0] = 1;  // from an application
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    }
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    // Not viewable yet (the map is still on its way): no focus, no error.
    if (xcb_generic_error_t* error = xcb_request_check(
            c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME)))
        std::free(error);
    xcb_flush(c);
}

}  // namespace

bool ActivateTopLevelWindow(const std::string& title)
{
    auto* app = qGuiApp;
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || title.empty())
        return false;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return false;
    const Atoms atoms{Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), Atom(c, "_NET_CLIENT_LIST"),
                      Atom(c, "_NET_ACTIVE_WINDOW")};
    for (xcb_window_t window : TopLevels(c, atoms, screen->root))
        if (TitleIs(c, atoms, window, title)) {
            Activate(c, atoms, screen->root, window);
            return true;
        }
    return false;
}

#else

bool ActivateTopLevelWindow(const std::string&) { return false; }

#endif

}  // namespace platform
