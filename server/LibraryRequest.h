// A complete request handed to the HTTP library's routing, and its answer taken back, all in memory: the
// connection was read (strictly, by RequestReader) and is written by the event loops, never by the
// library.
#pragma once

#include "RequestReader.h"

#include <httplib.h>

#include <string>

namespace LibraryRequest {

// The request's head as the library is to see it: framed by a Content-Length of the body already read
// and decoded, with nothing that would make it wait for more or answer "100 Continue" a second time, and
// without range fields (its routes answer small pages whole: it would build every range asked for,
// however many).
std::string forwardedHead(const RequestHead& head, size_t bodySize);

} // namespace LibraryRequest

// One complete request in memory for the library to read, and its answer collected.
class BufferStream final : public httplib::Stream {
public:
    BufferStream(std::string in, std::string ip, int port);

    bool is_readable() const override { return m_pos < m_in.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return INVALID_SOCKET; }

    std::string& out() { return m_out; }

private:
    const std::string m_in;
    size_t m_pos = 0;
    std::string m_out;
    const std::string m_ip;
    const int m_port;
};
