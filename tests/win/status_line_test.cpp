// The footer's status fields as SetStatus and the patch-state callback leave them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "support/RegistrySandbox.h"
#include "ui/UIManager.h"

// Heap allocations made on the calling thread while a count is armed.
namespace {
thread_local bool countAllocations = false;
thread_local size_t allocations = 0;
}  // namespace

void* operator new(size_t size) {
    if (countAllocations) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// Counts the allocations of this thread for its lifetime.
struct AllocationCount {
    AllocationCount() {
        allocations = 0;
        countAllocations = true;
    }
    ~AllocationCount() { countAllocations = false; }
    size_t Taken() const { return allocations; }
};

struct Snapshot {
    LauncherState state;
    float progress, speed;
    std::string text;
    bool error;
};

Snapshot Read(UIManager& ui) {
    std::lock_guard<std::mutex> lock(ui.stateMutex);
    return {ui.state, ui.progress, ui.speed, ui.statusText, ui.statusIsError};
}

class StatusLine : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    UIManager ui{nullptr};
};

TEST_F(StatusLine, SetStatusStoresTheMappedTextAndClearsErrorOnlyForNormalTexts) {
    struct Step {
        LauncherState before;
        std::string text;
        bool isError;
        LauncherState after;
        std::string shown;
    } steps[] = {
        {LauncherState::Error, "CONECTADO.", false, LauncherState::Idle, "CONECTADO."},
        {LauncherState::Error, "EMAIL OU SENHA INCORRETOS.", true, LauncherState::Error, "EMAIL OU SENHA INCORRETOS."},
        {LauncherState::Downloading, "FALHA NA AUTENTICAÇÃO.", true, LauncherState::Downloading,
         "ALGO NÃO SAIU COMO ESPERADO. TENTE DE NOVO."},
        {LauncherState::Completed, "auth_unreachable", false, LauncherState::Completed,
         "FALHA NA CONEXÃO. TENTE DE NOVO."},
        {LauncherState::Verifying, "", false, LauncherState::Verifying, ""},
    };
    for (const Step& s : steps) {
        {
            std::lock_guard<std::mutex> lock(ui.stateMutex);
            ui.state = s.before;
        }
        ui.SetStatus(s.text, s.isError);
        const Snapshot now = Read(ui);
        EXPECT_EQ(now.state, s.after) << s.text;
        EXPECT_EQ(now.text, s.shown) << s.text;
        EXPECT_EQ(now.error, s.isError) << s.text;
    }
}

TEST_F(StatusLine, PatchReportsStoreStateAndKeepTheTextWhenTheirMessageIsEmpty) {
    PatchStateCallback report = ui.MakePatchStateCallback();
    report(LauncherState::CheckingUpdates, 0.0f, 0.0f, "Verificando se há atualizações...");
    report(LauncherState::Downloading, 0.25f, 512.0f, "");
    Snapshot now = Read(ui);
    EXPECT_EQ(now.state, LauncherState::Downloading);
    EXPECT_EQ(now.progress, 0.25f);
    EXPECT_EQ(now.speed, 512.0f);
    EXPECT_EQ(now.text, "Verificando se há atualizações...");
    EXPECT_FALSE(now.error);

    // The error flag follows the state, with or without a message.
    report(LauncherState::Error, 0.25f, 0.0f, "");
    now = Read(ui);
    EXPECT_TRUE(now.error);
    EXPECT_EQ(now.text, "Verificando se há atualizações...");
    report(LauncherState::Error, 0.0f, 0.0f, "Não foi possível obter o manifesto de patch do servidor.");
    EXPECT_EQ(Read(ui).text, "FALHA AO BAIXAR ATUALIZAÇÕES. TENTE DE NOVO.");
    report(LauncherState::Completed, 1.0f, 0.0f, "Todos os arquivos estão atualizados!");
    now = Read(ui);
    EXPECT_FALSE(now.error);
    EXPECT_EQ(now.text, "Todos os arquivos estão atualizados!");
}

// A download reports after every chunk with one message: the window maps it
// once and stores the rest without touching the heap, and the text stays right
// when something else was shown in between.
TEST_F(StatusLine, RepeatedPatchMessagesAreMappedOnceAndCostNoAllocation) {
    PatchStateCallback report = ui.MakePatchStateCallback();
    const std::string chunk = "Baixando arquivos...";
    const std::string failed = "Erro durante a atualização: Falha no download via WinHTTP.";
    report(LauncherState::Downloading, 0.0f, 0.0f, chunk);
    {
        AllocationCount count;
        for (int i = 1; i <= 200; ++i) report(LauncherState::Downloading, i / 200.0f, 100.0f + i, chunk);
        EXPECT_EQ(count.Taken(), 0u);
    }
    EXPECT_EQ(Read(ui).progress, 1.0f);
    EXPECT_EQ(Read(ui).speed, 300.0f);

    struct Step {
        const char* setStatus;  // shown by the screens before the report, or null
        LauncherState state;
        const std::string* message;
        std::string shown;
    } steps[] = {
        {"CONECTADO.", LauncherState::Downloading, &chunk, "Baixando arquivos..."},
        {nullptr, LauncherState::Error, &failed, "FALHA NA ATUALIZAÇÃO. TENTE DE NOVO."},
        {nullptr, LauncherState::Downloading, &chunk, "Baixando arquivos..."},
        {"NENHUMA NOTÍCIA DISPONÍVEL.", LauncherState::Downloading, &chunk, "Baixando arquivos..."},
        {nullptr, LauncherState::Error, &failed, "FALHA NA ATUALIZAÇÃO. TENTE DE NOVO."},
        {"auth_unreachable", LauncherState::Error, &failed, "FALHA NA ATUALIZAÇÃO. TENTE DE NOVO."},
    };
    for (const Step& s : steps) {
        if (s.setStatus) ui.SetStatus(s.setStatus, false);
        report(s.state, 0.5f, 0.0f, *s.message);
        const Snapshot now = Read(ui);
        EXPECT_EQ(now.text, s.shown) << *s.message << " after " << (s.setStatus ? s.setStatus : "-");
        EXPECT_EQ(now.error, s.state == LauncherState::Error) << *s.message;
    }
}

TEST_F(StatusLine, ReportsFromSeveralThreadsLeaveOneConsistentUpdate) {
    PatchStateCallback report = ui.MakePatchStateCallback();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&report, t] {
            for (int i = 0; i < 500; ++i)
                report(LauncherState::Downloading, static_cast<float>(t), static_cast<float>(t),
                       "Baixando arquivos... " + std::to_string(t));
        });
    for (auto& th : threads) th.join();
    const Snapshot now = Read(ui);
    EXPECT_EQ(now.progress, now.speed);
    EXPECT_EQ(now.text, "Baixando arquivos... " + std::to_string(static_cast<int>(now.progress)));
}

TEST(StatusLineLifetime, ReportsAfterTheWindowIsGoneAreDropped) {
    RegistrySandbox sandbox;
    alignas(UIManager) unsigned char storage[sizeof(UIManager)];
    auto* ui = new (storage) UIManager(nullptr);
    PatchStateCallback report = ui->MakePatchStateCallback();
    report(LauncherState::Verifying, 0.5f, 0.0f, "Verificando integridade...");
    EXPECT_EQ(Read(*ui).state, LauncherState::Verifying);
    ui->~UIManager();
    // A patch thread that outlives the window still holds its callback; its
    // report must not reach the memory the window occupied.
    std::memset(storage, 0, sizeof(storage));
    report(LauncherState::Completed, 1.0f, 0.0f, "Todos os arquivos estão atualizados!");
    for (unsigned char b : storage) ASSERT_EQ(b, 0);
}

TEST_F(StatusLine, RepairWithoutPatchServiceChangesNothing) {
    ui.SetStatus("CONECTADO.", false);
    {
        std::lock_guard<std::mutex> lock(ui.stateMutex);
        ui.state = LauncherState::Error;
    }
    ui.TriggerRepair();
    const Snapshot now = Read(ui);
    EXPECT_EQ(now.state, LauncherState::Error);
    EXPECT_EQ(now.text, "CONECTADO.");
}

}  // namespace
