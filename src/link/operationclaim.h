#pragma once

#include <QPointer>
#include <QString>

namespace varo::link {

class ReaderLink;

// One operation's hold on the link, obtained from ReaderLink::claim(). Move-only; the link is
// released when the claim is destroyed or release() is called, so no path can forget it.
// An empty claim (false) means the link was not granted.
class OperationClaim {
public:
    OperationClaim() = default;
    OperationClaim(OperationClaim &&other) noexcept;
    OperationClaim &operator=(OperationClaim &&other) noexcept;
    OperationClaim(const OperationClaim &) = delete;
    OperationClaim &operator=(const OperationClaim &) = delete;
    ~OperationClaim();

    // Whether this claim holds the link.
    bool isHeld() const;
    explicit operator bool() const { return isHeld(); }
    // Frees the link; nothing happens when the claim is empty or already released.
    void release();

private:
    friend class ReaderLink;
    OperationClaim(ReaderLink *link, quint64 id);

    QPointer<ReaderLink> m_link;
    quint64 m_id = 0;
};

} // namespace varo::link
