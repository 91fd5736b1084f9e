#include "operationclaim.h"

#include "readerlink.h"

#include <utility>

namespace varo::link {

OperationClaim::OperationClaim(ReaderLink *link, quint64 id)
    : m_link(link)
    , m_id(id) {}

OperationClaim::OperationClaim(OperationClaim &&other) noexcept
    : m_link(std::exchange(other.m_link, nullptr))
    , m_id(std::exchange(other.m_id, 0)) {}

OperationClaim &OperationClaim::operator=(OperationClaim &&other) noexcept {
    if (this != &other) {
        release();
        m_link = std::exchange(other.m_link, nullptr);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

OperationClaim::~OperationClaim() {
    release();
}

bool OperationClaim::isHeld() const {
    return m_link && m_id != 0 && m_link->m_claimId == m_id;
}

void OperationClaim::release() {
    if (isHeld())
        m_link->releaseClaim(m_id);
    m_link = nullptr;
    m_id = 0;
}

} // namespace varo::link
