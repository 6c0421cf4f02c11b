// The server's file list: its lines, the paths it may name, and their
// conversion to the native paths that verification opens.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "patch/FileIntegritySystem.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// Well-formed UTF-8 as the Unicode standard's table of byte sequences gives it.
bool IsWellFormedUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) extra = 0;
        else if (c >= 0xC2 && c <= 0xDF) extra = 1;
        else if (c == 0xE0) extra = 2, lo = 0xA0;
        else if (c == 0xED) extra = 2, hi = 0x9F;
        else if (c >= 0xE1 && c <= 0xEF) extra = 2;
        else if (c == 0xF0) extra = 3, lo = 0x90;
        else if (c == 0xF4) extra = 3, hi = 0x8F;
        else if (c >= 0xF1 && c <= 0xF3) extra = 3;
        else return false;
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return false;
        }
        i += extra + 1;
    }
    return true;
}

bool SameEntry(const FileMetadata& a, const FileMetadata& b) {
    return a.path == b.path && a.size == b.size && a.modifiedTime == b.modifiedTime && a.hash == b.hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<FileMetadata> entries;
    std::vector<std::string> refused;
    ParseFileList(text, entries, refused);

    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    FUZZ_CHECK(entries.size() + refused.size() <= lines);

    // A path taken stays inside the game folder, with either separator.
    for (const FileMetadata& e : entries) {
        std::string slashed = e.path;
        for (char& c : slashed)
            if (c == '\\') c = '/';
        const std::string joined = (std::filesystem::path("/game") / slashed).lexically_normal().string();
        FUZZ_CHECK(joined.size() > 6 && joined.compare(0, 6, "/game/") == 0);
    }
    for (const std::string& path : refused) FUZZ_CHECK(!IsSafeGamePath(path));

    // Each entry written back as a line (a fifth field keeps an empty hash) reads the same.
    std::string written;
    for (const FileMetadata& e : entries) {
        FUZZ_CHECK(IsSafeGamePath(e.path));
        FUZZ_CHECK(e.path.find_first_of(",\n") == std::string::npos);
        FUZZ_CHECK(e.hash.find_first_of(",\n") == std::string::npos);
        written += e.path + "," + std::to_string(e.size) + "," + std::to_string(e.modifiedTime) + "," + e.hash + ",\n";
    }
    std::vector<FileMetadata> again;
    std::vector<std::string> refusedAgain;
    ParseFileList(written, again, refusedAgain);
    FUZZ_CHECK(refusedAgain.empty() && again.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i) FUZZ_CHECK(SameEntry(again[i], entries[i]));

    // A list path becomes a native path exactly when it is well-formed UTF-8;
    // outside Windows its bytes stay as they are.
    for (const FileMetadata& e : entries) {
        NativePath native;
        bool converted = true;
        try {
            AppendNativeFromUtf8(e.path, native);
        } catch (const std::filesystem::filesystem_error&) {
            converted = false;
        }
        FUZZ_CHECK(converted == IsWellFormedUtf8(e.path));
        if (converted) FUZZ_CHECK(native == e.path);
    }

    FileIntegritySystem files(L"/nonexistent-vrenn-fuzz-root/");
    FUZZ_CHECK(files.LoadManifest(text));
    return 0;
}
