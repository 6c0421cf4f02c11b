#include <gtest/gtest.h>

#include <string>

#include "ui/FriendlyStatus.h"

namespace {

const std::string kGeneric = "ALGO NÃO SAIU COMO ESPERADO. TENTE DE NOVO.";

struct Case {
    std::string in;
    std::string out;  // empty: the text itself
};

TEST(FriendlyStatus, MapsEachTextToItsPlayerMessage) {
    const Case cases[] = {
        {"", ""},
        // Pass-through texts, including those cut before an accented letter.
        {"Verificando se há atualizações...", ""},
        {"Todos os arquivos estão atualizados!", ""},
        {"Atualização concluída com sucesso!", ""},
        {"Baixando atualizações (3/7)...", ""},
        {"Baixando arquivos...", ""},
        {"Verificando integridade dos arquivos...", ""},
        {"VERIFICANDO ARQUIVOS DO JOGO...", ""},
        {"NENHUMA NOTÍCIA DISPONÍVEL.", ""},
        {"JOGO EM EXECUÇÃO", ""},
        {"AGUARDANDO GOOGLE...", ""},
        {"Sessão encerrada", ""},
        {"CONECTADO.", ""},
        {"AUTENTICANDO...", ""},
        {"INICIANDO O JOGO...", ""},
        {"PRONTO PARA JOGAR", ""},
        // A pass-through entry wins over a rule that would match too.
        {"Atualização falhou: manifest", ""},
        // The result texts themselves are kept.
        {"LOGIN COM GOOGLE CANCELADO.", ""},
        {"EMAIL OU SENHA INCORRETOS.", ""},
        {"FEQUE O JOGO PRIMEIRO.", ""},
        {"ARQUIVOS INVÁLIDOS. USE REPARAR JOGO.", ""},
        {kGeneric, ""},
        // Rule 1: expired session.
        {"Sessão expirada. Faça login novamente.", "SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO."},
        {"SESSÃO EXPIRADA.", "SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO."},
        {"HTTP 401", "SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO."},
        {"Unauthorized", "SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO."},
        // Rule 2: connection.
        {"Não foi possível conectar ao servidor de autenticação.", "FALHA NA CONEXÃO. TENTE DE NOVO."},
        {"auth_unreachable", "FALHA NA CONEXÃO. TENTE DE NOVO."},
        {"SEM PONTO CONECTAR", "FALHA NA CONEXÃO. TENTE DE NOVO."},
        {"Erro: Falha na autenticação", "FALHA NA CONEXÃO. TENTE DE NOVO."},
        // Rule 3: the game is open.
        {"Feche o jogo antes de atualizar.", "FEQUE O JOGO PRIMEIRO."},
        {"Feche o Vrenn Online.", "FEQUE O JOGO PRIMEIRO."},
        // Rule 4 before rule 5.
        {"Não foi possível obter o manifesto de patch do servidor.", "FALHA AO BAIXAR ATUALIZAÇÕES. TENTE DE NOVO."},
        {"Erro durante a atualização: bad manifest line", "FALHA AO BAIXAR ATUALIZAÇÕES. TENTE DE NOVO."},
        {"Erro durante a atualização: disco cheio", "FALHA NA ATUALIZAÇÃO. TENTE DE NOVO."},
        // Rule 6, which comes before the Google rules.
        {"Usuária ou senha inválida", "EMAIL OU SENHA INCORRETOS."},
        {"Dados não estão corretos", "EMAIL OU SENHA INCORRETOS."},
        {"access denied", "EMAIL OU SENHA INCORRETOS."},
        {"Acesso negado", "EMAIL OU SENHA INCORRETOS."},
        {"google_denied", "EMAIL OU SENHA INCORRETOS."},
        // Rule 7.
        {"FALHA DE INTEGRIDADE", "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO."},
        {"HMAC invalid", "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO."},
        {"bad hmac", "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO."},
        {"hash mismatch", "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO."},
        {"FALHA NA VERIFICAÇÃO", "ARQUIVOS INVÁLIDOS. USE REPARAR JOGO."},
        // Rule 8.
        {"VrennClient.exe missing", "JOGO NÃO ENCONTRADO. REINSTALE O LAUNCHER."},
        {"CLIENTE NÃO ENCONTRADO", "JOGO NÃO ENCONTRADO. REINSTALE O LAUNCHER."},
        {"Falha ao executar", "JOGO NÃO ENCONTRADO. REINSTALE O LAUNCHER."},
        // Rules 9 and 10 need both parts; "GOOGLE" in capitals is not "oogle".
        {"google_unavailable", "LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO."},
        {"Google indisponível", "LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO."},
        {"Login Google em breve", "LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO."},
        {"google_cancelled", "LOGIN COM GOOGLE CANCELADO."},
        {"GOOGLE cancelled", kGeneric},
        {"unavailable", kGeneric},
        {"google_internal", kGeneric},
        // A launch refused for a value its command line cannot carry.
        {"Dados da conta ou do servidor inválidos para iniciar o jogo.",
         "DADOS INVÁLIDOS PARA O JOGO. CONTATE O SUPORTE."},
        {"DADOS INVÁLIDOS PARA O JOGO. CONTATE O SUPORTE.", ""},
        // Upper-case texts that match nothing.
        {"FALHA NA AUTENTICAÇÃO.", kGeneric},
        {"LOGIN NA PÁGINA INDISPONÍVEL NO MOMENTO.", kGeneric},
        {"ERRO AO INICIAR O EXECUTÁVEL DO JOGO!", kGeneric},
        {"std::bad_alloc", kGeneric},
        // Case-sensitive search: "Expirad" is neither entry.
        {"Expirado", kGeneric},
    };
    for (const Case& c : cases) {
        const std::string& expected = c.out.empty() ? c.in : c.out;
        EXPECT_EQ(FriendlyStatusText(c.in), expected) << "input: " << c.in;
    }
}

}  // namespace
