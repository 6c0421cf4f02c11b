#include "Screen.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "Harness.h"

namespace e2e {

Rgb Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {};
    size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Image CaptureScreen() {
    Image img;
    std::string ppm = Shell("xwd -root -silent | convert xwd:- ppm:- 2>/dev/null");
    // P6 <w> <h> <max> then one blank and the pixels; the header may carry "#" comments.
    size_t pos = 0;
    auto token = [&]() -> std::string {
        for (;;) {
            while (pos < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
            if (pos < ppm.size() && ppm[pos] == '#') {
                while (pos < ppm.size() && ppm[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        size_t start = pos;
        while (pos < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
        return ppm.substr(start, pos - start);
    };
    if (token() != "P6") return img;
    int w = std::atoi(token().c_str()), h = std::atoi(token().c_str()), max = std::atoi(token().c_str());
    if (w <= 0 || h <= 0 || max != 255) return img;
    size_t offset = pos + 1;
    size_t need = static_cast<size_t>(w) * h * 3;
    if (ppm.size() < offset + need) return img;
    img.width = w;
    img.height = h;
    img.rgb.assign(ppm.begin() + static_cast<long>(offset), ppm.begin() + static_cast<long>(offset + need));
    return img;
}

std::optional<Rect> FindWindowRect(const std::string& title, bool onlyVisible) {
    std::string ids = Shell(std::string("xdotool search ") + (onlyVisible ? "--onlyvisible " : "") + "--name '^" +
                            title + "$' 2>/dev/null");
    std::istringstream list(ids);
    std::string id;
    while (list >> id) {
        std::string geo = Shell("xdotool getwindowgeometry --shell " + id + " 2>/dev/null");
        Rect r;
        std::istringstream lines(geo);
        std::string line;
        while (std::getline(lines, line)) {
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string k = line.substr(0, eq);
            int v = std::atoi(line.c_str() + eq + 1);
            if (k == "X") r.x = v;
            else if (k == "Y") r.y = v;
            else if (k == "WIDTH") r.w = v;
            else if (k == "HEIGHT") r.h = v;
        }
        // Wine keeps small helper windows with the same name; the launcher's is the big one.
        if (r.w >= 200 && r.h >= 200) return r;
    }
    return std::nullopt;
}

void MouseMove(int x, int y) { Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)); }

void MouseClick(int x, int y) {
    MouseMove(x, y);
    Shell("xdotool click 1");
}

void TypeText(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    Shell("xdotool type --delay 40 " + quoted);
}

void PressKey(const std::string& keysym) { Shell("xdotool key " + keysym); }

HeldKey::HeldKey(const std::string& key) : keysym(key) { Shell("xdotool keydown " + keysym); }

HeldKey::~HeldKey() { Release(); }

void HeldKey::Release() {
    if (down) Shell("xdotool keyup " + keysym);
    down = false;
}

// Keys of the evdev keycodes that the default keymap leaves without symbols.
static const char* const kSpareKeys[] = {"<AB11>", "<I120>", "<JPCM>"};

ExtraKeys::ExtraKeys(const std::vector<unsigned>& codepoints) {
    if (codepoints.size() > std::size(kSpareKeys)) return;
    dir = MakeTempDir("extra-keys").string();
    Shell("xkbcomp -w 0 -xkb \"$DISPLAY\" '" + dir + "/display.xkb' 2>/dev/null");
    std::string keymap = ReadFile(dir + "/display.xkb");
    size_t symbols = keymap.find("xkb_symbols");
    size_t open = symbols == std::string::npos ? symbols : keymap.find('{', symbols);
    if (open == std::string::npos) return;
    std::string keys = "\n";
    for (size_t i = 0; i < codepoints.size(); ++i) {
        char keysym[16];
        std::snprintf(keysym, sizeof(keysym), "U%04X", codepoints[i]);
        keys += std::string("    key ") + kSpareKeys[i] + " { [ " + keysym + " ] };\n";
    }
    keymap.insert(open + 1, keys);
    WriteFile(dir + "/extra.xkb", keymap);
    Shell("xkbcomp -w 0 '" + dir + "/extra.xkb' \"$DISPLAY\" 2>/dev/null");
    // Loaded when xkbcomp dumps the new keys back.
    const std::string now = Shell("xkbcomp -w 0 -xkb \"$DISPLAY\" - 2>/dev/null");
    ok = true;
    for (unsigned cp : codepoints) {
        char keysym[16];
        std::snprintf(keysym, sizeof(keysym), "U%04X", cp);
        ok = ok && now.find(keysym) != std::string::npos;
    }
}

ExtraKeys::~ExtraKeys() {
    if (!dir.empty()) Shell("xkbcomp -w 0 '" + dir + "/display.xkb' \"$DISPLAY\" 2>/dev/null");
}

int Mask::Count() const {
    int n = 0;
    for (bool b : on) n += b;
    return n;
}

Mask CutMask(const Image& img, const Rect& region, const std::function<bool(Rgb)>& test) {
    int x0 = region.x + region.w, y0 = region.y + region.h, x1 = region.x - 1, y1 = region.y - 1;
    for (int y = region.y; y < region.y + region.h; ++y)
        for (int x = region.x; x < region.x + region.w; ++x)
            if (test(img.At(x, y))) {
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    Mask m;
    if (x1 < x0) return m;
    m.width = x1 - x0 + 1;
    m.height = y1 - y0 + 1;
    m.on.resize(static_cast<size_t>(m.width) * m.height);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) m.on[static_cast<size_t>(y - y0) * m.width + (x - x0)] = test(img.At(x, y));
    return m;
}

bool Near(Rgb p, Rgb c, int tolerance) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}

std::string DescribeMask(const Mask& m) {
    std::string s = std::to_string(m.width) + "x" + std::to_string(m.height) + "\n";
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) s += m.on[static_cast<size_t>(y) * m.width + x] ? '#' : '.';
        s += '\n';
    }
    return s;
}

}  // namespace e2e
