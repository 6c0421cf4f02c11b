#pragma once
// The order in which a patch run hands its files to the download workers.
// No Windows header.
#include <vector>

#include "patch/FileIntegritySystem.h"

// Largest first, files of one size in the order given. The workers take the
// queue in order, and a large file taken late would end the run with one
// worker fetching it alone while the others sit idle.
void OrderForDownload(std::vector<FileMetadata>& files);
