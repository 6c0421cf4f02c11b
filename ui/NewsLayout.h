#pragma once
// Layout rules of the news cards: the card measures, the body height and the
// title shortening. No Dear ImGui and no Windows header, so they build natively.
#include <functional>
#include <string>
#include <string_view>

// The news cards shown, at most, whatever the length of the list.
constexpr int kMaxNewsCards = 4;

constexpr float kNewsFontScaleMin = 0.9f;
constexpr float kNewsFontScaleMax = 1.4f;
constexpr float kNewsFontScaleStep = 0.05f;

// The scale after one "A-" (delta < 0) or "A+" click, kept within 0.9..1.4.
float StepNewsFontScale(float scale, float delta);

struct NewsCardMeasures {
    float textWidth;     // wrap width of the content
    float titleBand;     // height of the badge and title band
    float headerHeight;  // band plus its margins; the content starts this far below the card top
    float lineHeight;    // one line of content
    float titleSize;     // font sizes at the scale
    float contentSize;
    float badgeSize;
};

// childWidth: width of the panel's child window; fontSize: the body font's current size.
NewsCardMeasures MeasureNewsCard(float childWidth, float scale, float fontSize);

// The content's wrapped height held between one and 2.2 line heights.
float NewsBodyHeight(float measuredContentHeight, float lineHeight);

float NewsCardHeight(const NewsCardMeasures& m, float bodyHeight);

// Width of a UTF-8 text at the title size.
using TextWidthFn = std::function<float(std::string_view)>;

// The title as drawn in `room` pixels: whole when it fits together with "...",
// otherwise the longest prefix of whole UTF-8 characters that fits with "..."
// after it, followed by "...". Widths are taken to grow with the prefix.
std::string ShortenNewsTitle(const std::string& title, float room, const TextWidthFn& width);
