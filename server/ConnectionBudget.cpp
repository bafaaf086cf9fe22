// Connections that never speak cost a client nothing, so without shedding a few hundred addresses
// could hold every place. Those that completed a request have shown they are real and are kept.
#include "ConnectionBudget.h"

#include <algorithm>

#include <netinet/in.h>
#include <sys/resource.h>

ConnectionBudget::ConnectionBudget(Limits limits)
    : m_limits(limits) {}

size_t ConnectionBudget::withinDescriptors(size_t wanted) {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return wanted;
    return std::min<size_t>(wanted, files.rlim_cur > 128 ? files.rlim_cur - 64 : 64);
}

ConnectionBudget::Keys ConnectionBudget::keysOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        return {std::string(reinterpret_cast<const char*>(&in->sin_addr), 4), {}};
    }
    if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        const auto* b = reinterpret_cast<const char*>(&in6->sin6_addr);
        // An IPv4 client reached through an IPv6 socket counts as that IPv4 address.
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
            return {std::string(b + 12, 4), {}};
        return {std::string(b, 8) + "/64", std::string(b, 7) + "/56"};
    }
    return {"other", {}};
}

uint64_t ConnectionBudget::admit(const Keys& keys, size_t loop, uint64_t conn, std::optional<Victim>* shed) {
    std::lock_guard lock(m_mutex);
    shed->reset();
    const auto count = [this](const std::string& key) {
        const auto it = m_perKey.find(key);
        return it == m_perKey.end() ? size_t(0) : it->second;
    };
    if (count(keys.address) >= m_limits.perAddress ||
        (!keys.wide.empty() && count(keys.wide) >= m_limits.perIpv6Slash56) ||
        m_held.size() >= m_limits.total) {
        ++m_refused;
        return 0;
    }
    if ((m_held.size() + 1) * 100 > m_limits.total * m_limits.pressurePercent && !m_strangers.empty()) {
        *shed = m_strangers.begin()->second;
        m_strangers.erase(m_strangers.begin());
    }
    const uint64_t ticket = m_next++;
    ++m_perKey[keys.address];
    if (!keys.wide.empty())
        ++m_perKey[keys.wide];
    m_held.emplace(ticket, keys);
    m_strangers.emplace(ticket, Victim{loop, conn});
    return ticket;
}

void ConnectionBudget::proven(uint64_t ticket) {
    std::lock_guard lock(m_mutex);
    m_strangers.erase(ticket);
}

void ConnectionBudget::release(uint64_t ticket) {
    std::lock_guard lock(m_mutex);
    const auto it = m_held.find(ticket);
    if (it == m_held.end())
        return;
    for (const std::string* key : {&it->second.address, &it->second.wide}) {
        if (key->empty())
            continue;
        if (const auto k = m_perKey.find(*key); k != m_perKey.end() && --k->second == 0)
            m_perKey.erase(k);
    }
    m_strangers.erase(ticket);
    m_held.erase(it);
}

size_t ConnectionBudget::refused() const {
    std::lock_guard lock(m_mutex);
    return m_refused;
}

size_t ConnectionBudget::open() const {
    std::lock_guard lock(m_mutex);
    return m_held.size();
}
