#include "LibraryRequest.h"

#include <algorithm>
#include <cstring>

namespace LibraryRequest {

std::string forwardedHead(const RequestHead& head, size_t bodySize) {
    std::string out = head.method + ' ' + head.target + ' ' + head.version + "\r\n";
    for (const auto& [name, value] : head.fields)
        if (name != "content-length" && name != "transfer-encoding" && name != "expect" && name != "range" &&
            name != "if-range")
            out += name + ": " + value + "\r\n";
    if (bodySize > 0)
        out += "Content-Length: " + std::to_string(bodySize) + "\r\n";
    return out + "\r\n";
}

} // namespace LibraryRequest

BufferStream::BufferStream(std::string in, std::string ip, int port)
    : m_in(std::move(in))
    , m_ip(std::move(ip))
    , m_port(port) {}

ssize_t BufferStream::read(char* ptr, size_t size) {
    const size_t n = std::min(size, m_in.size() - m_pos);
    std::memcpy(ptr, m_in.data() + m_pos, n);
    m_pos += n;
    return ssize_t(n);
}

ssize_t BufferStream::write(const char* ptr, size_t size) {
    m_out.append(ptr, size);
    return ssize_t(size);
}

void BufferStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = m_ip;
    port = m_port;
}

void BufferStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip.clear();
    port = 0;
}
