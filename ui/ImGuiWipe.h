#pragma once
// Dear ImGui keeps typed text in memory of its own, apart from the fields'
// buffers: the edit state of the field last focused, a copy of the field that
// last lost focus, the queue of typed characters. These are wiped with the
// password; every block Dear ImGui gives back is zeroed first.

// Before the context is created: Dear ImGui's blocks come from the wiping allocator.
void InstallWipingImGuiAllocator();

// Zeroes every copy of typed text that Dear ImGui holds, and makes it forget
// which field they belonged to, so none is written back into a field. Pending
// input stays. Nothing without a current context.
void WipeImGuiTextFields();
