#pragma once
// Reading the test display and driving it with real input: screenshots as
// pixels, the launcher window's place on screen, xdotool clicks and keys, and
// a comparison of two rendered texts by their glyph pixels.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // width * height * 3
    bool Empty() const { return width == 0; }
    Rgb At(int x, int y) const;
};

// The whole display, as pixels; empty when the capture failed.
Image CaptureScreen();

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// The top-level window with exactly this title, and where it lies on the
// screen; nullopt when there is none (or, with onlyVisible, none mapped).
std::optional<Rect> FindWindowRect(const std::string& title, bool onlyVisible = true);

// Real input through xdotool (XTEST), at screen coordinates.
void MouseMove(int x, int y);
void MouseClick(int x, int y);
void TypeText(const std::string& text);
void PressKey(const std::string& keysym);
// A key held down across other input; released at the latest when this goes,
// so a failed test leaves no key down on the display.
class HeldKey {
public:
    explicit HeldKey(const std::string& keysym);
    ~HeldKey();
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;
    void Release();

private:
    std::string keysym;
    bool down = true;
};

// Characters the display's keymap lacks, put on spare keys for the object's
// lifetime (at most three). xdotool would otherwise bind each such character
// to a key for the moment of the keystroke, and Wine may read that key after
// xdotool has already taken it back: the character is then lost. Programs
// started afterwards read the keymap with these keys in it; the display's own
// keymap is loaded back at the end.
class ExtraKeys {
public:
    explicit ExtraKeys(const std::vector<unsigned>& codepoints);
    ~ExtraKeys();
    ExtraKeys(const ExtraKeys&) = delete;
    ExtraKeys& operator=(const ExtraKeys&) = delete;
    bool Ok() const { return ok; }

private:
    std::string dir;
    bool ok = false;
};

// Pixels of a region that pass a test, as a mask cut to their bounding box.
struct Mask {
    int width = 0, height = 0;
    std::vector<bool> on;
    int Count() const;
    bool operator==(const Mask& o) const { return width == o.width && height == o.height && on == o.on; }
};
Mask CutMask(const Image& img, const Rect& region, const std::function<bool(Rgb)>& test);
// True when the pixel lies within `tolerance` of c on every channel.
bool Near(Rgb p, Rgb c, int tolerance);
std::string DescribeMask(const Mask& m);  // rows of '#' and '.', for failure messages

}  // namespace e2e
