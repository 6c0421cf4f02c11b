#include "ui/NewsLayout.h"

#include <vector>

float StepNewsFontScale(float scale, float delta) {
    scale += delta;
    if (scale < kNewsFontScaleMin) scale = kNewsFontScaleMin;
    if (scale > kNewsFontScaleMax) scale = kNewsFontScaleMax;
    return scale;
}

NewsCardMeasures MeasureNewsCard(float childWidth, float scale, float fontSize) {
    NewsCardMeasures m{};
    m.textWidth = childWidth - 24.0f;
    m.titleBand = scale * 20.0f;
    m.headerHeight = m.titleBand + 10.0f;
    m.lineHeight = 1.25f * scale * (fontSize - 2.0f);
    m.titleSize = scale * fontSize;
    m.contentSize = scale * (fontSize - 2.0f);
    m.badgeSize = scale * (fontSize - 3.0f);
    return m;
}

float NewsBodyHeight(float measured, float lineHeight) {
    const float most = 2.2f * lineHeight;
    if (measured > most) return most;
    if (measured < lineHeight) return lineHeight;
    return measured;
}

float NewsCardHeight(const NewsCardMeasures& m, float bodyHeight) { return m.headerHeight + bodyHeight + 6.0f; }

std::string ShortenNewsTitle(const std::string& title, float room, const TextWidthFn& width) {
    static const std::string kEllipsis = "...";
    if (title.empty() || width(title + kEllipsis) <= room) return title;

    // Byte offsets where a character starts; a continuation byte (10xxxxxx) never
    // starts one, so an accented letter is kept or dropped whole.
    std::vector<size_t> cuts;
    for (size_t i = 0; i < title.size(); ++i)
        if ((static_cast<unsigned char>(title[i]) & 0xC0) != 0x80) cuts.push_back(i);
    if (cuts.empty() || cuts.front() != 0) cuts.insert(cuts.begin(), 0);

    // Longest prefix, strictly shorter than the title, that fits with "...".
    size_t lo = 0, hi = cuts.size();  // cuts[lo] is known to fit (the empty prefix is taken anyway)
    while (hi - lo > 1) {
        size_t mid = lo + (hi - lo) / 2;
        if (width(title.substr(0, cuts[mid]) + kEllipsis) <= room)
            lo = mid;
        else
            hi = mid;
    }
    return title.substr(0, cuts[lo]) + kEllipsis;
}
