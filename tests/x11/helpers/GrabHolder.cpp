// A second X client for the key-grab tests: holds one key combination until its stdin closes.
// Usage: quillbay-grab-holder KEYSYM_HEX X_MODIFIERS_HEX. Prints "ready" once held, "refused" otherwise.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const auto keysym = xcb_keysym_t(std::strtoul(argv[1], nullptr, 16));
    const auto mods = uint16_t(std::strtoul(argv[2], nullptr, 16));

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!codes || codes[0] == XCB_NO_SYMBOL)
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto cookie = xcb_grab_key_checked(c, 0, root, mods, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
        std::free(error);
        std::puts("refused");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);

    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
    xcb_disconnect(c);
    return 0;
}
