#include "acquisition/DriverStatus.h"

namespace zor::acquisition {

DriverStatusClient::DriverStatusClient() : m_Client("CDeviceDriverHostApp") {}

bool DriverStatusClient::Find() {
    return m_Client.Find();
}

std::optional<int32_t> DriverStatusClient::Query(int32_t code) {
    int32_t reply = 0;
    if (!m_Client.Query(0, code, reply))
        return std::nullopt;
    return reply;
}

}  // namespace zor::acquisition
