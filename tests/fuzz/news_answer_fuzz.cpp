// The answer of "/api/news", and the titles the news cards shorten.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "patch/ServerList.h"
#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"
#include "ui/NewsLayout.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// As with the server list: no "}", and no value that is a key or ends in a quote and a key.
bool WritesBack(const NewsItem& item) {
    for (const std::string* text : {&item.title, &item.date, &item.content}) {
        if (text->find('}') != std::string::npos) return false;
        for (const char* key : {"title", "date", "content"})
            if (*text == key || EndsWith(*text, std::string("\"") + key)) return false;
    }
    return true;
}

bool IsCharStart(const std::string& text, size_t at) {
    return at == 0 || at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
}

// One pixel per byte: widths grow with the prefix, as the layout expects.
void CheckShortened(const std::string& title, float room) {
    const TextWidthFn width = [](std::string_view text) { return static_cast<float>(text.size()); };
    const std::string shown = ShortenNewsTitle(title, room, width);
    if (title.empty() || title.size() + 3 <= room) {
        FUZZ_CHECK(shown == title);
        return;
    }
    FUZZ_CHECK(EndsWith(shown, "..."));
    const size_t cut = shown.size() - 3;
    FUZZ_CHECK(cut < title.size() && title.compare(0, cut, shown, 0, cut) == 0);
    FUZZ_CHECK(IsCharStart(title, cut));
    if (cut > 0) FUZZ_CHECK(shown.size() <= room);
    // The next whole character would not fit any more.
    size_t next = cut + 1;
    while (next < title.size() && !IsCharStart(title, next)) ++next;
    if (next < title.size()) FUZZ_CHECK(next + 3 > room);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const std::vector<NewsItem> items = ParseNewsAnswer(answer);

    size_t closes = 0;
    for (char c : answer) closes += c == '}';
    FUZZ_CHECK(items.size() <= closes);

    const float room = size > 0 ? static_cast<float>(data[0] % 48) : 0.0f;
    std::string written = "[";
    bool writable = true;
    for (size_t i = items.size(); i-- > 0;) {
        const NewsItem& item = items[i];
        FUZZ_CHECK(!item.title.empty());
        FUZZ_CHECK(item.title.size() <= answer.size() && item.content.size() <= answer.size());
        CheckShortened(item.title, room);
        writable = writable && WritesBack(item);
        written += "{\"title\":\"" + EscapeJsonString(item.title) + "\",\"date\":\"" + EscapeJsonString(item.date) +
                   "\",\"content\":\"" + EscapeJsonString(item.content) + "\"},";
    }
    written += "]";
    if (writable) {
        const std::vector<NewsItem> again = ParseNewsAnswer(written);
        FUZZ_CHECK(again.size() == items.size());
        for (size_t i = 0; i < items.size(); ++i)
            FUZZ_CHECK(again[i].title == items[i].title && again[i].date == items[i].date &&
                       again[i].content == items[i].content);
    }
    return 0;
}
