#pragma once
// A key combination that reaches the program whichever window has the focus:
// on X11 the key is grabbed on the root window of Qt's own connection and
// picked out of Qt's event stream. On other platforms there is no hot key.
#include <functional>
#include <memory>

namespace platform {

class GlobalHotKey {
public:
    static constexpr unsigned kModAlt = 0x1;
    static constexpr unsigned kModControl = 0x2;

    GlobalHotKey();
    ~GlobalHotKey();
    GlobalHotKey(const GlobalHotKey&) = delete;
    GlobalHotKey& operator=(const GlobalHotKey&) = delete;

    // Grabs modifiers + key (an upper-case Latin letter or digit, as the
    // virtual key codes name them). onPress(id) runs on the GUI thread. False
    // without X11, for a key the keyboard lacks, or when another client holds
    // the combination. Replaces an earlier registration.
    bool Register(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int)> onPress);
    // Lets the key go; the server also does when the connection closes.
    void Unregister();
    bool IsRegistered() const;

private:
    class Grab;
    std::unique_ptr<Grab> grab;
};

}  // namespace platform
