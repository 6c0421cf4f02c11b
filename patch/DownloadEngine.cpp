#include "patch/DownloadEngine.h"

// Placeholder until the download engine lands.
DownloadEngine::DownloadEngine(int count) : workerCount(count) {}
DownloadEngine::~DownloadEngine() = default;
