#pragma once
// The hand-drawn look shared by the screens: sparkles, stars, the themed
// tooltip, the panel card and the launcher's button. Stateless: each call
// draws one frame's worth from its arguments and the frame time.
#include <imgui.h>

// Packed colour with its 8-bit alpha multiplied by factor (truncated); RGB kept.
ImU32 ScaleAlpha(ImU32 colour, float factor);

// A small hexagonal dot that bobs vertically: dy = amplitude * sin(time * speed + phase).
void draw_sparkle(ImDrawList* drawList, float time, float x, float y, float amplitude, ImU32 colour,
                  float radius, float speed, float phase, float alphaScale);
// A four-ray star whose alpha twinkles between 10 % and 100 % of the colour's.
void draw_glitter_star(ImDrawList* drawList, float time, float x, float y, float size, ImU32 colour);
// Tooltip in the launcher's colours; call while the item is hovered. Text is shown literally.
void ThemedTooltip(const char* text);
// The animated panel card (shadow, body, tints, sheen, two borders, accent line, two dots).
void DrawPanelFrame(ImDrawList* drawList, float time, const ImVec2& min, const ImVec2& max, float rounding);
// The launcher's button: drawn, then an invisible button laid over it. True on the click frame.
bool DrawPremiumButton(ImDrawList* drawList, const char* id, const char* label, const ImVec2& pos,
                       const ImVec2& size, float time, bool primary);
