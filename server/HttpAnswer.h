// Whole HTTP/1.1 answers as the server writes them itself: status line with its reason, the body's type
// and length, and whether the connection stays open after it.
#pragma once

#include <string>

namespace HttpAnswer {

// The reason phrase of `status`; "Unknown" for a status the server never sends.
const char* reasonPhrase(int status);
// The head and `body` together.
std::string whole(int status, const std::string& contentType, const std::string& body, bool close);

} // namespace HttpAnswer
