#pragma once
// The one mapping every footer status passes through: texts known to be fit
// for the player pass unchanged, every other text becomes one of a few
// upper-case messages. No Windows header, so it builds natively.
#include <string>

std::string FriendlyStatusText(const std::string& text);
