#pragma once

#include <string>

// The address a request actually goes to: one written without a scheme ("host/script.php")
// means plain http. Everything that compares or resolves a Script URL uses this same rule.
std::string NormalizeRequestUrl(const std::string& url);
