#include "patch/HttpTransport.h"
#include "patch/PatchManager.h"
#include "patch/ServerList.h"

std::vector<NewsItem> PatchManager::FetchNews() {
    std::string answer;
    // A failed request is the same as no news: nothing is logged or shown.
    if (!DownloadStringWinHTTP(patchServerUrl + "/api/news", answer)) return {};
    return ParseNewsAnswer(answer);
}
