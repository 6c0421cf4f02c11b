#include "ui/ImGuiWipe.h"

#include <imgui.h>
#include <imgui_internal.h>

#include "patch/SecureWipe.h"

// The edit state's undo store, as Dear ImGui itself declares it.
namespace ImStb {
#include <imstb_textedit.h>
}

namespace {

template <typename T>
void WipeWhole(ImVector<T>& v) {
    SecureWipe(v.Data, static_cast<size_t>(v.Capacity) * sizeof(T));
}

// The room past the end: a queue that was emptied or shifted leaves its old entries there.
template <typename T>
void WipeUnused(ImVector<T>& v) {
    if (v.Data) SecureWipe(v.Data + v.Size, static_cast<size_t>(v.Capacity - v.Size) * sizeof(T));
}

void WipeCharacters(ImVector<ImGuiInputEvent>& events) {
    for (ImGuiInputEvent& e : events)
        if (e.Type == ImGuiInputEventType_Text) e.Text.Char = 0;
}

}  // namespace

void InstallWipingImGuiAllocator() { ImGui::SetAllocatorFunctions(WipingAlloc, WipingFree, nullptr); }

void WipeImGuiTextFields() {
    ImGuiContext* g = ImGui::GetCurrentContext();
    if (!g) return;

    // The state belongs to no field afterwards: a field still active finds no
    // state of its own and lets go, and the next one to take focus starts anew
    // from its buffer, undo included.
    ImGuiInputTextState& state = g->InputTextState;
    WipeWhole(state.TextA);
    WipeWhole(state.TextToRevertTo);
    WipeWhole(state.CallbackTextBackup);
    state.TextLen = 0;
    state.ID = 0;
    if (state.Stb) {
        // Deleted and replaced text is kept for undo and redo.
        ImStb::StbUndoState& undo = state.Stb->undostate;
        SecureWipe(&undo, sizeof(undo));
        undo.redo_point = IMSTB_TEXTEDIT_UNDOSTATECOUNT;
        undo.redo_char_point = IMSTB_TEXTEDIT_UNDOCHARCOUNT;
    }

    // Written back into its field on the frame the field reports its edit: no field may take it now.
    ImGuiInputTextDeactivatedState& last = g->InputTextDeactivatedState;
    WipeWhole(last.TextA);
    last.ID = 0;

    // The typed characters of this frame were taken by the field that had
    // focus, and the frame's end drops them anyway.
    WipeWhole(g->IO.InputQueueCharacters);
    g->IO.InputQueueCharacters.resize(0);
    // Events still to come stay; those handled, and their copies for this frame, lose their characters.
    WipeUnused(g->InputEventsQueue);
    WipeCharacters(g->InputEventsTrail);
    WipeUnused(g->InputEventsTrail);
}
