#pragma once
// The self-update script and the command line that runs it. No Windows header.
#include <string>

// Written beside the launcher in text mode, so each line feed reaches the disk as CR LF.
// Every file the script tests, moves or removes is named with -LiteralPath: a
// plain path is a wildcard pattern to PowerShell, and a folder such as
// "C:\Jogos\[BR] Vrenn" would match nothing.
inline constexpr char kUpdateScriptText[] =
    "$ErrorActionPreference = 'Stop'\n"
    "$root = Split-Path -Parent $MyInvocation.MyCommand.Path\n"
    "$old = Join-Path $root 'VrennOnlineLauncher.exe'\n"
    "$new = Join-Path $root 'VrennOnlineLauncher_new.exe'\n"
    "$bak = Join-Path $root 'VrennOnlineLauncher.exe.bak'\n"
    "Start-Sleep -Seconds 1\n"
    "if (Test-Path -LiteralPath $bak) { Remove-Item -LiteralPath $bak -Force }\n"
    "if (Test-Path -LiteralPath $old) { Move-Item -LiteralPath $old $bak -Force }\n"
    "if (-not (Test-Path -LiteralPath $new)) {\n"
    "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }\n"
    "    exit 1\n"
    "}\n"
    "try {\n"
    "    Move-Item -LiteralPath $new $old -Force\n"
    "} catch {\n"
    "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }\n"
    "    exit 1\n"
    "}\n"
    "$proc = Start-Process -FilePath $old -PassThru\n"
    "Start-Sleep -Seconds 3\n"
    "if ($proc.HasExited -and $proc.ExitCode -ne 0) {\n"
    "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }\n"
    "    exit 1\n"
    "}\n"
    "# O backup fica guardado ate o launcher confirmar inicializacao saudavel.\n";

inline constexpr wchar_t kNewLauncherFileName[] = L"VrennOnlineLauncher_new.exe";
inline constexpr wchar_t kUpdateScriptFileName[] = L"update.ps1";

// exeDir + "update.ps1"; exeDir already ends in "/".
std::wstring UpdateScriptPath(const std::wstring& exeDir);
// powershell.exe -NoProfile -ExecutionPolicy Bypass -File "<exeDir>update.ps1"
std::wstring UpdateCommandLine(const std::wstring& exeDir);
// ASCII A-Z to a-z, every other byte unchanged (hash texts from the server).
std::string AsciiLower(const std::string& text);
