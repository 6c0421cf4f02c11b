#include "app/Startup.h"

// Placeholder until the self-update lands: no update is ever started.
void TriggerSelfUpdate(const std::wstring&, const std::string&, const std::string&) {}
