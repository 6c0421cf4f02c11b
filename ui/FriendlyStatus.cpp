#include "ui/FriendlyStatus.h"

#include <initializer_list>
#include <string_view>

namespace {

// Substrings of texts that are shown as they are. Several stop just before an
// accented letter so they match whatever follows in UTF-8.
constexpr std::string_view kOk[] = {
    "AUTENTICANDO",
    "CONECTADO",
    "INICIANDO O JOGO",
    "JOGO EM EXECU",
    "VERIFICANDO ARQUIVOS",
    "AGUARDANDO GOOGLE",
    "PRONTO PARA JOGAR",
    "NENHUMA NOT",
    "o encerrada",
    "CONECTADO.",
    "Verificando se h",
    "Verificando integridade",
    "Todos os arquivos",
    "Baixando atualiza",
    "Baixando arquivos",
    "Todos os arquivos est",
    "Atualiza",
    "atualizados!",
};

constexpr std::string_view kSessionExpired = "SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO.";
constexpr std::string_view kConnectionFailed = "FALHA NA CONEXÃO. TENTE DE NOVO.";
constexpr std::string_view kCloseGame = "FEQUE O JOGO PRIMEIRO.";
constexpr std::string_view kDownloadFailed = "FALHA AO BAIXAR ATUALIZAÇÕES. TENTE DE NOVO.";
constexpr std::string_view kUpdateFailed = "FALHA NA ATUALIZAÇÃO. TENTE DE NOVO.";
constexpr std::string_view kBadLogin = "EMAIL OU SENHA INCORRETOS.";
constexpr std::string_view kBadFiles = "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO.";
constexpr std::string_view kGameMissing = "JOGO NÃO ENCONTRADO. REINSTALE O LAUNCHER.";
constexpr std::string_view kGoogleUnavailable = "LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO.";
constexpr std::string_view kGoogleCancelled = "LOGIN COM GOOGLE CANCELADO.";
constexpr std::string_view kBadLaunchValues = "DADOS INVÁLIDOS PARA O JOGO. CONTATE O SUPORTE.";
constexpr std::string_view kGeneric = "ALGO NÃO SAIU COMO ESPERADO. TENTE DE NOVO.";

constexpr std::string_view kResults[] = {
    kSessionExpired, kConnectionFailed, kCloseGame,         kDownloadFailed,  kUpdateFailed,  kBadLogin,
    kBadFiles,       kGameMissing,      kGoogleUnavailable, kGoogleCancelled, kBadLaunchValues, kGeneric,
};

bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool HasAny(std::string_view text, std::initializer_list<std::string_view> parts) {
    for (std::string_view p : parts)
        if (Has(text, p)) return true;
    return false;
}

std::string_view MapByRules(std::string_view t) {
    if (HasAny(t, {"expirad", "EXPIRAD", "401", "Unauthorized"})) return kSessionExpired;
    if (HasAny(t, {"NTO CONECTAR", "onectar", "unreachable", " Falha na aut"})) return kConnectionFailed;
    if (HasAny(t, {"Feche o jogo", "Feche o Vrenn"})) return kCloseGame;
    if (HasAny(t, {"manifesto", "manifest"})) return kDownloadFailed;
    if (Has(t, "Erro durante a atualiza")) return kUpdateFailed;
    if (HasAny(t, {"ria ou senha", "corretos", "denied", "negado"})) return kBadLogin;
    if (HasAny(t, {"INTEGRIDADE", "HMAC", "hmac", "mismatch", "FALHA NA VERIFICA"})) return kBadFiles;
    if (HasAny(t, {"VrennClient", "ENCONTRADO", "xecut"})) return kGameMissing;
    if (Has(t, "oogle") && HasAny(t, {"dispon", "breve", "unavailable"})) return kGoogleUnavailable;
    if (Has(t, "oogle") && Has(t, "cancel")) return kGoogleCancelled;
    // A name or address the game's command line cannot carry.
    if (Has(t, "lidos para iniciar o jogo")) return kBadLaunchValues;
    return kGeneric;
}

}  // namespace

std::string FriendlyStatusText(const std::string& text) {
    if (text.empty()) return text;
    for (std::string_view ok : kOk)
        if (Has(text, ok)) return text;
    for (std::string_view result : kResults)
        if (text == result) return text;
    return std::string(MapByRules(text));
}
