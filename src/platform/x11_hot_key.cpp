#include "platform/x11_hot_key.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if QUILLON_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform {

#if QUILLON_HAVE_XCB

namespace {

xcb_connection_t* QtConnection()
{
    auto* app = qGuiApp;
    if (!app)
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Lock and NumLock must not stop the combination from matching.
constexpr std::array<uint16_t, 4> kIgnoredModifierSets = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                          XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

// The keycode whose keysyms include the Latin letter or digit, either case.
xcb_keycode_t KeycodeFor(xcb_connection_t* connection, unsigned virtualKey)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto cookie = xcb_get_keyboard_mapping(connection, static_cast<xcb_keycode_t>(first), static_cast<uint8_t>(count));
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(connection, cookie, nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t upper = virtualKey;
    const xcb_keysym_t lower = (virtualKey >= 'A' && virtualKey <= 'Z') ? virtualKey + 0x20 : virtualKey;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int perCode = reply->keysyms_per_keycode;
    const int total = xcb_get_keyboard_mapping_keysyms_length(reply);
    xcb_keycode_t found = 0;
    for (int code = 0; code < count && !found; ++code)
        for (int k = 0; k < perCode && code * perCode + k < total; ++k) {
            const xcb_keysym_t sym = syms[code * perCode + k];
            if (sym == upper || sym == lower) {
                found = static_cast<xcb_keycode_t>(first + code);
                break;
            }
        }
    std::free(reply);
    return found;
}

}  // namespace

class GlobalHotKey::Grab final : public QAbstractNativeEventFilter {
public:
    Grab(xcb_connection_t* connection, xcb_window_t root, xcb_keycode_t keycode, uint16_t modifiers, int id,
         std::function<void(int)> onPress)
        : connection(connection), root(root), keycode(keycode), modifiers(modifiers), id(id),
          onPress(std::move(onPress))
    {
    }

    ~Grab() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        if (grabbed && QtConnection() == connection) {
            for (uint16_t extra : kIgnoredModifierSets)
                xcb_ungrab_key(connection, keycode, root, modifiers | extra);
            xcb_flush(connection);
        }
    }

    bool Take()
    {
        std::vector<xcb_void_cookie_t> cookies;
        for (uint16_t extra : kIgnoredModifierSets)
            cookies.push_back(xcb_grab_key_checked(connection, 1, root, modifiers | extra, keycode, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (auto cookie : cookies)
            if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
                ok = false;
                std::free(error);
            }
        grabbed = true;  // whatever part succeeded is let go at the end
        if (ok)
            QCoreApplication::instance()->installNativeEventFilter(this);
        return ok;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS)
            return false;
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        const uint16_t relevant = key->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
        if (key->detail != keycode || key->event != root || relevant != modifiers)
            return false;
        if (onPress)
            onPress(id);
        return true;
    }

private:
    xcb_connection_t* connection;
    xcb_window_t root;
    xcb_keycode_t keycode;
    uint16_t modifiers;
    int id;
    std::function<void(int)> onPress;
    bool grabbed = false;
};

bool GlobalHotKey::Register(int id, unsigned modifierFlags, unsigned virtualKey, std::function<void(int)> onPress)
{
    Unregister();
    xcb_connection_t* connection = QtConnection();
    if (!connection)
        return false;
    const xcb_keycode_t keycode = KeycodeFor(connection, virtualKey);
    if (!keycode)
        return false;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return false;
    uint16_t modifiers = 0;
    if (modifierFlags & kModAlt)
        modifiers |= XCB_MOD_MASK_1;
    if (modifierFlags & kModControl)
        modifiers |= XCB_MOD_MASK_CONTROL;
    auto candidate = std::make_unique<Grab>(connection, screen->root, keycode, modifiers, id, std::move(onPress));
    if (!candidate->Take())
        return false;  // the partial grab goes with candidate
    grab = std::move(candidate);
    return true;
}

#else  // no X11: no hot key

class GlobalHotKey::Grab {};

bool GlobalHotKey::Register(int, unsigned, unsigned, std::function<void(int)>) { return false; }

#endif

GlobalHotKey::GlobalHotKey() = default;
GlobalHotKey::~GlobalHotKey() = default;

void GlobalHotKey::Unregister() { grab.reset(); }

bool GlobalHotKey::IsRegistered() const { return grab != nullptr; }

}  // namespace platform
