#include "transport/RequestUrl.h"

std::string NormalizeRequestUrl(const std::string& url) {
    if (url.find("://") == std::string::npos) return "http://" + url;
    return url;
}
