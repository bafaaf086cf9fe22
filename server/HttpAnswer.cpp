#include "HttpAnswer.h"

namespace HttpAnswer {

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

std::string whole(int status, const std::string& contentType, const std::string& body, bool close) {
    return "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: " + (close ? "close" : "keep-alive") + "\r\n\r\n" + body;
}

} // namespace HttpAnswer
